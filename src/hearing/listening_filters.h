#pragma once
// The filters that make a copied text sound right: what the voice hears of the prepared
// text. PDF line breaks inside sentences and words, web addresses, citation marks,
// Markdown marks and emoji. The view keeps the text as prepared; only the voice is spared.
#include <string>
#include <vector>
#include "settings/app_settings.h"
#include "hearing/spoken_text.h"
#include "view/normalise.h"

// What the voice hears of prepared, the text in the view. Linear in its length.
SpokenText FilterForListening(const std::wstring& prepared, const PreparationMarks& marks, const ListeningFilters& filters);

// The same as FilterForListening after the text grew at its end (from on): earlier is what
// the voice heard of the text before, with the same filters; only the end is filtered again.
SpokenText ExtendFilteredText(const SpokenText& earlier, const std::wstring& prepared, const PreparationMarks& marks,
                            const ListeningFilters& filters, int from);
