#pragma once
// Characters [start, end) of a text: a word, a sentence, a stretch set aside. Every
// stage of the reading counts in these, each in its own text, and the maps between the
// stages turn one stage's range into another's.
struct TextRange {
    int start = 0;
    int end = 0;
};
