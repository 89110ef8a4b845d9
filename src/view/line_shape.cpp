#include "view/line_shape.h"
#include "platform/log.h"
#include <algorithm>
#include <utility>

namespace {

// Shaping failed for a line: said once, as every line after it would fail the same way.
void LogShapingFailure(HRESULT result)
{
    static bool said = false;
    if (!said)
        LogFailure(L"ScriptStringAnalyse of a line of the text view", static_cast<DWORD>(result));
    said = true;
}

} // namespace

LineShape::LineShape(HDC dc, const wchar_t* text, int length, bool rightToLeft, int tabStop)
    : length_(std::max(length, 0)), rightToLeft_(rightToLeft)
{
    if (length_ == 0)
        return;
    SCRIPT_STATE state{};
    state.uBidiLevel = rightToLeft ? 1 : 0;
    // Tabs in pixels (a scale of 4 means device units).
    int stop = std::max(tabStop, 1);
    SCRIPT_TABDEF tabs{1, 4, &stop, 0};
    const DWORD flags = SSA_GLYPHS | SSA_FALLBACK | SSA_LINK | SSA_TAB | (rightToLeft ? SSA_RTL : 0);
    const HRESULT result = ScriptStringAnalyse(dc, text, length_, length_ * 3 / 2 + 16, -1, flags, 0, nullptr, &state,
                                               nullptr, &tabs, nullptr, &analysis_);
    if (FAILED(result)) {
        // Drawn as plain text then, in the font alone, rather than not at all.
        LogShapingFailure(result);
        analysis_ = nullptr;
        dc_ = dc;
        plain_.assign(text, static_cast<size_t>(length_));
        SIZE size{};
        if (GetTextExtentPoint32W(dc_, plain_.data(), length_, &size))
            width_ = size.cx;
        return;
    }
    if (const SIZE* size = ScriptString_pSize(analysis_))
        width_ = size->cx;
}

LineShape::~LineShape()
{
    if (analysis_)
        ScriptStringFree(&analysis_);
}

LineShape::LineShape(LineShape&& other) noexcept
    : analysis_(std::exchange(other.analysis_, nullptr)), dc_(other.dc_), plain_(std::move(other.plain_)),
      length_(other.length_), width_(other.width_), rightToLeft_(other.rightToLeft_)
{
}

LineShape& LineShape::operator=(LineShape&& other) noexcept
{
    if (this != &other) {
        if (analysis_)
            ScriptStringFree(&analysis_);
        analysis_ = std::exchange(other.analysis_, nullptr);
        dc_ = other.dc_;
        plain_ = std::move(other.plain_);
        length_ = other.length_;
        width_ = other.width_;
        rightToLeft_ = other.rightToLeft_;
    }
    return *this;
}

int LineShape::X(int index, bool trailing) const
{
    int x = 0;
    if (!analysis_) {
        SIZE size{};
        const int through = std::clamp(index + (trailing ? 1 : 0), 0, length_);
        return dc_ && GetTextExtentPoint32W(dc_, plain_.data(), through, &size) ? static_cast<int>(size.cx) : 0;
    }
    if (FAILED(ScriptStringCPtoX(analysis_, index, trailing ? TRUE : FALSE, &x)))
        return rightToLeft_ ? width_ : 0;
    return std::clamp(x, 0, width_);
}

int LineShape::EdgeBefore(int index) const
{
    if (length_ == 0)
        return 0;
    if (index >= length_)
        return X(length_ - 1, true);
    return X(std::max(index, 0), false);
}

int LineShape::IndexAt(int x) const
{
    if (!analysis_) {
        int index = 0;
        while (index < length_ && (X(index, false) + X(index, true)) / 2 < x)
            ++index;
        return index;
    }
    int index = 0;
    int trailing = 0;
    if (FAILED(ScriptStringXtoCP(analysis_, x, &index, &trailing)))
        return 0;
    return std::clamp(index + trailing, 0, length_);
}

// Unlike IndexAt, the right half of a letter still belongs to that letter.
int LineShape::CharacterAt(int x) const
{
    if (length_ == 0)
        return 0;
    // Off either end the platform answers -1 or the length without telling which end
    // of the reading order that is; the line's direction does.
    if (x < 0)
        return rightToLeft_ ? length_ : 0;
    if (x >= width_)
        return rightToLeft_ ? 0 : length_;
    if (!analysis_) {
        int index = 0;
        while (index < length_ && X(index, true) <= x)
            ++index;
        return index;
    }
    int index = 0;
    int trailing = 0;
    if (FAILED(ScriptStringXtoCP(analysis_, x, &index, &trailing)))
        return 0;
    return std::clamp(index, 0, length_);
}

std::vector<Span> LineShape::Spans(int from, int to) const
{
    from = std::max(from, 0);
    to = std::min(to, length_);
    std::vector<Span> spans;
    if (from >= to)
        return spans;
    if (from == 0 && to == length_) {
        spans.push_back({0, width_});
        return spans;
    }
    for (int i = from; i < to; ++i) {
        const int a = X(i, false);
        const int b = X(i, true);
        if (a != b)
            spans.push_back({std::min(a, b), std::max(a, b)});
    }
    std::sort(spans.begin(), spans.end(), [](const Span& a, const Span& b) { return a.left < b.left; });
    std::vector<Span> joined;
    for (const Span& span : spans) {
        if (!joined.empty() && span.left <= joined.back().right)
            joined.back().right = std::max(joined.back().right, span.right);
        else
            joined.push_back(span);
    }
    return joined;
}

void LineShape::Draw(int x, int y) const
{
    if (analysis_)
        ScriptStringOut(analysis_, x, y, 0, nullptr, 0, 0, FALSE);
    else if (dc_ && !plain_.empty())
        ExtTextOutW(dc_, x, y, 0, nullptr, plain_.data(), static_cast<UINT>(plain_.size()), nullptr);
}

bool ParagraphReadsRightToLeft(const wchar_t* text, int from, int end)
{
    constexpr int Block = 256;
    WORD types[Block];
    for (int at = from; at < end; at += Block) {
        const int count = std::min(Block, end - at);
        if (!GetStringTypeW(CT_CTYPE2, text + at, count, types))
            return false;
        for (int i = 0; i < count; ++i) {
            if (text[at + i] == L'\r')
                return false;
            if (types[i] == C2_LEFTTORIGHT)
                return false;
            if (types[i] == C2_RIGHTTOLEFT)
                return true;
        }
    }
    return false;
}
