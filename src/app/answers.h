#pragma once
#include <string_view>

#include "app/dialogs.h"
#include "files/savequestions.h"
#include "transfers/send.h"

namespace tessaly::app {

inline constexpr std::string_view kCommentTitle = "Comment";
inline constexpr std::string_view kCommentPrompt = "Please write a comment for the file.";
inline constexpr std::string_view kTextCommentPrompt = "Please enter a comment for the textfile:";
inline constexpr std::string_view kEditorCommentPrompt = "Please enter a comment for the textfile.";
// Caption of the boxes that report a failed save or conversion: the application title.
inline constexpr std::string_view kSaveErrorCaption = "tessaly92";
inline constexpr std::string_view kTextErrorCaption = "tessaly92";
inline constexpr std::string_view kNoFileSelectedText = "No file selected!";
inline constexpr std::string_view kNoFileSelectedCaption = "No file selected";

// The window's answers to the core's questions: each asked with a box or a file dialog.
class WindowAnswers final : public SaveQuestions, public SendQuestions {
public:
    explicit WindowAnswers(Dialogs& dialogs) : m_dialogs(dialogs) {}

    std::string comment(SaveKind kind, std::string_view source) override;
    std::optional<std::filesystem::path> destination(SaveKind kind, std::string_view suggested,
                                                     const CalculatorModel& model) override;
    void failed(std::string_view why) override;

    CopyChoice savecopies(std::size_t count) override;
    std::optional<std::filesystem::path> copydestination(const std::filesystem::path& suggested,
                                                         const std::string& extension) override;
    bool sendlibraries(const std::string& program) override;
    // Txt-convert's text files are in this folder: its .92t goes beside them by default.
    void settextfolder(std::filesystem::path folder) { m_textfolder = std::move(folder); }

private:
    Dialogs& m_dialogs;
    std::filesystem::path m_textfolder;
};

} // namespace tessaly::app
