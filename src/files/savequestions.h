#pragma once
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

#include "link/model.h"

namespace tessaly {

// What is being saved, so the one who answers knows what the comment and place are for.
enum class SaveKind {
    Package,     // the package store, a group of variables (.92g, .89g...)
    Backup,      // the package store holding one fetched backup (.92b)
    TextFile,    // a text file turned into a text variable by Txt-convert (.92t, .89t...)
    EditorText,  // the text editor's text (.92t, .89t...)
};

// The decisions a save leaves to its user, answered by the front end.
class SaveQuestions {
public:
    virtual ~SaveQuestions() = default;
    // The file's comment; empty when none is given. source names the file converted
    // (TextFile), else it is empty.
    virtual std::string comment(SaveKind kind, std::string_view source) = 0;
    // Where the file goes; nullopt when no place is given, and nothing is saved.
    // suggested is the file name offered (TextFile), else empty; model is the calculator
    // whose file it becomes, whose extension is offered.
    virtual std::optional<std::filesystem::path> destination(SaveKind kind, std::string_view suggested,
                                                             const CalculatorModel& model) = 0;
    // A save or conversion that failed; why as the user reads it. The next file follows.
    virtual void failed(std::string_view why) = 0;
};

} // namespace tessaly
