#include "engine_texts.h"

#include <QCoreApplication>

#include <string>

namespace {

// The texts as the engine spells them, for lupdate to find; a text changed in
// the engine must be changed here too, or it is shown in English.
[[maybe_unused]] const char* const kEngineTexts[] = {
    // KeepRuleTitle (engine/keeper_rules.cpp)
    QT_TRANSLATE_NOOP("Engine", "Lossless before lossy"),
    QT_TRANSLATE_NOOP("Engine", "Higher bit rate"),
    QT_TRANSLATE_NOOP("Engine", "Longer duration"),
    QT_TRANSLATE_NOOP("Engine", "More tags filled"),
    QT_TRANSLATE_NOOP("Engine", "In a preferred folder"),
    QT_TRANSLATE_NOOP("Engine", "Larger file"),
    QT_TRANSLATE_NOOP("Engine", "Older file"),
    // SkipReasonText (engine/skipped_files.cpp)
    QT_TRANSLATE_NOOP("Engine", "no plug-in reads it"),
    QT_TRANSLATE_NOOP("Engine", "damaged"),
    QT_TRANSLATE_NOOP("Engine", "shorter than 15 s of music"),
    QT_TRANSLATE_NOOP("Engine", "unreadable"),
    QT_TRANSLATE_NOOP("Engine", "not a regular file"),
    QT_TRANSLATE_NOOP("Engine", "no music in its first two minutes"),
    // CacheLoadMessage (engine/grip_store.cpp)
    QT_TRANSLATE_NOOP("Engine", "Another Harmonyfox is running and holds the cache file"),
    QT_TRANSLATE_NOOP("Engine",
                      "The file at the cache's place is not a Harmonyfox cache; it is left alone "
                      "and nothing is cached"),
    QT_TRANSLATE_NOOP("Engine", "Can't open cache file"),
    // Why a file was not trashed or moved, or did not come back
    // (engine/trash_can.cpp, engine/file_move.cpp, engine/file_actions.cpp)
    QT_TRANSLATE_NOOP("Engine", "the file does not exist"),
    QT_TRANSLATE_NOOP("Engine", "the target exists"),
    QT_TRANSLATE_NOOP("Engine", "its place is taken"),
    QT_TRANSLATE_NOOP("Engine", "it is no longer in the trash"),
    QT_TRANSLATE_NOOP("Engine", "it is still there"),
    QT_TRANSLATE_NOOP("Engine", "it changed after it was rewritten"),
    QT_TRANSLATE_NOOP("Engine", "its saved copy is gone"),
    QT_TRANSLATE_NOOP("Engine", "it cannot be written"),
    QT_TRANSLATE_NOOP("Engine", "the journal cannot be written"),
    QT_TRANSLATE_NOOP("Engine", "the copy's size differs from the file's"),
};

}  // namespace

QString EngineText(std::string_view text) {
    return QCoreApplication::translate("Engine", std::string(text).c_str());
}
