#pragma once
// A range of the view's text as UI Automation's text pattern hands it out: it moves by
// the view's own characters, words, lines and paragraphs, and reads, finds, selects and
// scrolls through the view.
#include <memory>
#include "platform/com_ptr.h"
#include "platform/ui_automation.h"
#include "view/text_range.h"

struct ViewLink;

// A new range over range of the view that link reaches; element is the view's provider,
// the range's enclosing element, which the range keeps alive.
ComPtr<ITextRangeProvider> MakeAccessibleTextRange(IRawElementProviderSimple* element, std::shared_ptr<ViewLink> link,
                                                   TextRange range);
