#pragma once
// The parts of a Reader, for tests that drive or look at one of them directly.
#include "reading/reader.h"

struct ReaderProbe {
    static TextView& View(Reader& reader) { return reader.view_; }
    static SpeechController& Controller(Reader& reader) { return reader.controller_; }
    static const std::shared_ptr<const SpokenText>& Spoken(const Reader& reader) { return reader.spoken_; }
    static bool Loading(const Reader& reader) { return reader.load_ != nullptr; }
    static int VisibleLines(const Reader& reader) { return reader.look_.VisibleLines(); }
    static void SetNoteListener(Reader& reader, NoteListener listener) { reader.noteListener_ = std::move(listener); }
};
