#include "view/copy_load.h"
#include "view/normalise.h"
#include "view/text_view.h"
#include <algorithm>

namespace {

// About a millisecond of preparation.
constexpr size_t PieceChars = 256 * 1024;

bool IsBlankOrBreak(wchar_t c)
{
    return c == L' ' || c == L'\t' || c == L'\r' || c == L'\n';
}

} // namespace

CopyLoad::CopyLoad(SharedText viewText, bool viewPrepared, std::wstring copy, bool append)
    : prefix_(std::make_shared<const std::wstring>())
{
    if (append && viewText && !IsPlaceholderText(*viewText)) {
        if (viewPrepared) {
            prefix_ = std::move(viewText);
            previous_ = prefix_->empty() ? L'\0' : prefix_->back();
        } else {
            source_ = *viewText;
        }
    }
    AddCopy(std::move(copy));
}

// Only a text this short can be a placeholder: each character as the view holds it
// comes from at most two copied ones.
bool CopyLoad::OnlyPlaceholder() const
{
    if (prefix_->size() + source_.size() > 4)
        return false;
    std::wstring shown = *prefix_;
    AppendWithViewBreaks(shown, source_.data(), source_.size());
    return IsPlaceholderText(shown);
}

void CopyLoad::AddCopy(std::wstring copy)
{
    if (blankPending_) {
        source_ += L' ';
        blankPending_ = false;
    }
    const size_t at = source_.size();
    // The view takes a line feed right after a CR it holds as a line break of its own.
    const wchar_t before = at > 0 ? source_[at - 1] : prefix_->empty() ? L'\0' : prefix_->back();
    if (!copy.empty() && copy.front() == L'\n' && before == L'\r')
        copy.front() = L'\r';
    if (source_.empty())
        source_ = std::move(copy);
    else
        source_ += copy;
    readFromSource_ = at;
    // The blank after the copy replaces a text that is only a placeholder.
    if (OnlyPlaceholder()) {
        prefix_ = std::make_shared<const std::wstring>();
        source_.clear();
        prepared_.clear();
        marks_ = {};
        done_ = 0;
        previous_ = L'\0';
        readFromSource_ = 0;
    }
    blankPending_ = true;
    readFromKnown_ = readFromSource_ == done_;
    readFromPrepared_ = prepared_.size();
    prepared_.reserve(source_.size() + source_.size() / 16 + 16);
}

bool CopyLoad::Step()
{
    if (done_ < source_.size()) {
        size_t end = std::min(source_.size(), done_ + PieceChars);
        // A piece ends after a blank where it can, so that no web address is cut in two.
        if (end < source_.size()) {
            size_t cut = end;
            while (cut > done_ + PieceChars / 2 && !IsBlankOrBreak(source_[cut - 1]))
                --cut;
            if (cut > done_ + PieceChars / 2)
                end = cut;
        }
        if (!readFromKnown_ && readFromSource_ > done_ && readFromSource_ < end)
            end = readFromSource_;
        // A CR and its line feed are one line break: never cut between them.
        if (end < source_.size() && source_[end - 1] == L'\r' && source_[end] == L'\n')
            ++end;
        piece_.clear();
        AppendWithViewBreaks(piece_, source_.data() + done_, end - done_);
        // Written beside the text first: room for a full stop after every character
        // would make the text itself grow far beyond its size.
        normalised_.resize(2 * piece_.size() + 1);
        const int base = static_cast<int>(prefix_->size() + prepared_.size());
        const size_t written =
            NormaliseText(piece_.data(), piece_.size(), normalised_.data(), previous_, &marks_, base);
        prepared_.append(normalised_.data(), written);
        if (written > 0)
            previous_ = prepared_.back();
        done_ = end;
        if (!readFromKnown_ && done_ == readFromSource_) {
            readFromPrepared_ = prepared_.size();
            readFromKnown_ = true;
        }
        return false;
    }
    // The blank after the last copy; the text itself is not grown for it, which for a
    // long one would mean copying it all.
    if (blankPending_) {
        prepared_ += L' ';
        previous_ = L' ';
        blankPending_ = false;
    }
    return true;
}

CopyLoad::Result CopyLoad::Take()
{
    Result result;
    result.readFrom = static_cast<int>(prefix_->size() + readFromPrepared_);
    result.keptPrefix = static_cast<int>(prefix_->size());
    result.marks = std::move(marks_);
    if (prefix_->empty()) {
        result.text = std::move(prepared_);
    } else {
        result.text.reserve(prefix_->size() + prepared_.size());
        result.text.append(*prefix_).append(prepared_);
    }
    prefix_.reset();
    source_.clear();
    source_.shrink_to_fit();
    prepared_.clear();
    prepared_.shrink_to_fit();
    return result;
}
