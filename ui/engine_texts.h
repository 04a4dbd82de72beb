// The engine's own texts that the window shows: the keep rules' titles, the
// reasons a file was skipped and why the cache could not be opened. The
// engine writes them in English and knows nothing of Qt; the window
// translates them here. Any thread.
#pragma once

#include <QString>

#include <string_view>

// text through Qt's translation (context "Engine"). A text missing from the
// list in engine_texts.cpp, which the translation tools read, comes back
// unchanged, in English.
QString EngineText(std::string_view text);
