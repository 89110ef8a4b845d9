#include "speech/reader.h"
#include "settings/app_settings.h"
#include "platform/ui_text.h"
#include "res/resource.h"
#include <cmath>
#include <cwchar>

namespace {

// A copy up to this long is prepared at once, in a few milliseconds.
constexpr size_t PrepareAtOnceChars = 512 * 1024;

// Megabytes with one decimal, rounded up: a copy just over the limit must not read as
// the limit itself.
std::wstring MegabytesText(unsigned long long bytes)
{
    wchar_t text[32] = L"";
    swprintf(text, 32, L"%.1f MB", std::ceil(static_cast<double>(bytes) * 10.0 / (1024.0 * 1024.0)) / 10.0);
    return text;
}

} // namespace

Reader::Reader() = default;

bool Reader::CreateView(HWND parent, const RECT& rect)
{
    if (!view_.Create(parent, rect))
        return false;
    ApplyFontAndColours();
    return true;
}

bool Reader::TakesCopyOf(size_t characters)
{
    const unsigned long long bytes = static_cast<unsigned long long>(characters) * sizeof(wchar_t);
    if (bytes <= LargestCopyBytes)
        return true;
    if (noteListener_)
        noteListener_(FillPattern(LoadText(IDS_COPY_TOO_LARGE), MegabytesText(bytes),
                                  std::to_wstring(LargestCopyBytes >> 20) + L" MB"));
    return false;
}

void Reader::TakeCopy(std::wstring text, bool append)
{
    readLoad_ = controller_.BeginNewText();
    if (load_ && append) {
        load_->AddCopy(std::move(text));
        loadFollowsCopy_ = true;
    } else {
        CancelLoad();
        load_ = std::make_unique<CopyLoad>(view_.Text(), text_.MatchesView(view_), std::move(text), append);
        loadFollowsCopy_ = false;
    }
    if (load_->Remaining() <= PrepareAtOnceChars)
        FinishLoad();
    else if (!loadWork_.Pending())
        loadWork_.Start([this] { return LoadStep(); });
}

bool Reader::LoadStep()
{
    if (!load_)
        return true;
    if (!load_->Step())
        return false;
    CommitLoad();
    return true;
}

void Reader::FinishLoad()
{
    loadWork_.Cancel();
    while (!LoadStep()) {
    }
}

void Reader::CancelLoad()
{
    loadWork_.Cancel();
    load_.reset();
}

// The prepared copy goes into the view in one piece and is read from its start.
void Reader::CommitLoad()
{
    CopyLoad::Result loaded = load_->Take();
    load_.reset();
    // The sentences of the text as it was before the latest copy.
    const int previousSentences = loadFollowsCopy_ ? CountSentences(loaded.text.data(), loaded.readFrom)
                                  : text_.Prepared() ? CountSentences(text_.Text().c_str())
                                                     : 0;
    view_.TakeText(loaded.text);
    text_.Adopt(std::move(loaded.text), previousSentences, view_);
    view_.Select(0, 0);
    ReportStatusChange();
    if (readLoad_)
        controller_.ReadNewText(loaded.readFrom);
}

void Reader::PrepareText()
{
    FinishLoad();
    text_.Prepare(view_);
    ReportStatusChange();
}

void Reader::DropTrailingLineBreaks()
{
    text_.DropTrailingLineBreaks(view_);
}

void Reader::ApplyFontAndColours()
{
    display_.ApplyFontAndColours(view_);
    ReportStatusChange();
}

void Reader::FitView(int width, int height)
{
    MoveWindow(view_.Handle(), 0, 0, width, height, FALSE);
    display_.UpdateVisibleLines(view_);
    ReportStatusChange();
}

void Reader::OnSpokenWord(WordRange word)
{
    ReportStatusChange(display_.ShowSpokenWord(view_, word));
}

void Reader::OnStatusChange(int line)
{
    if (statusListener_)
        statusListener_(line);
}
