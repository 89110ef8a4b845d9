#pragma once
// A copied text on its way into the view: where it goes, the way the append helper of
// the view places it (in place of the view's text, or after it, with one blank after
// it, a placeholder replaced), and its preparation, which can be done a piece at a time
// so that a long text never holds up the program. The result is exactly what placing
// the text in the view and preparing all of it would give.
#include <string>
#include "view/normalise.h"
#include "view/text_view_control.h"

class CopyLoad {
public:
    // copy is without its trailing line breaks. With append, it goes after viewText;
    // viewPrepared tells whether viewText is prepared already, so that it is kept as it
    // is, or prepared again with the copy.
    CopyLoad(SharedText viewText, bool viewPrepared, std::wstring copy, bool append);

    // A further copy, after the text so far (append mode); reading starts at its start.
    void AddCopy(std::wstring copy);
    // Prepares the next piece; true when all is prepared.
    bool Step();
    // Characters still to prepare.
    size_t Remaining() const { return source_.size() - done_ + (blankPending_ ? 1 : 0); }

    struct Result {
        std::wstring text;
        // Where the latest copy begins in the text: the place reading starts.
        int readFrom = 0;
        // How much of the text is the view's prepared text, kept as it was; what
        // preparation found in it is not in marks, which hold the rest's.
        int keptPrefix = 0;
        PreparationMarks marks;
    };
    // Once all is prepared: the prepared text, which the load gives up.
    Result Take();

private:
    bool OnlyPlaceholder() const;

    // Prepared already and kept as it is: the view's text when a copy goes after it.
    SharedText prefix_;
    // What is still to be prepared, as copied, one after the other with a blank after
    // each; the last one's blank is only pending.
    std::wstring source_;
    bool blankPending_ = false;
    size_t done_ = 0;
    std::wstring prepared_;
    PreparationMarks marks_;
    wchar_t previous_ = L'\0';
    // Where the latest copy begins in source_, and once prepared that far, in prepared_.
    size_t readFromSource_ = 0;
    size_t readFromPrepared_ = 0;
    bool readFromKnown_ = false;
    std::wstring piece_;
    std::wstring normalised_;
};
