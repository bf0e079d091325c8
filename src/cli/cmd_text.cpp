#include <cstdio>

#include "cli/cli.h"
#include "cli/terminalprogress.h"
#include "files/filename.h"
#include "files/packagestore.h"
#include "files/packagewriter.h"
#include "files/textconvert.h"
#include "files/ticharset.h"
#include "files/tifile.h"
#include "files/titext.h"
#include "link/typenames.h"

namespace tessaly::cli {

namespace {

int refuse(const std::string& subject, const std::string& why, int code = kUsage) {
    std::fprintf(stderr, "tessaly92-cli: %s: %s\n", terminaltext(subject).c_str(), terminaltext(why).c_str());
    return code;
}

} // namespace

// A text file as a calculator's text file, as Txt-convert makes it. A text belongs to no
// calculator until it is given one: --model's, else the one the output's name is for, else
// the TI-92's.
int cmd_txt2var(const Options& options, const Args& args) {
    std::string input, output, comment;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a == "-o" || a == "--comment") {
            if (!optionvalue(args, i, a == "-o" ? output : comment)) return kUsage;
        } else if (input.empty() && !a.starts_with("-")) {
            input = a;
        } else {
            printusage("txt2var");
            return kUsage;
        }
    }
    if (input.empty()) {
        printusage("txt2var");
        return kUsage;
    }
    const std::filesystem::path source(input);
    const std::string varname = textvariablename(source.filename().string());
    if (varname.empty()) return refuse(input, std::string(kNoVariableName) + " Nothing was written.");
    const CalculatorModel* named = readfilename(std::filesystem::path(output).filename().string()).model;
    const CalculatorModel& model = options.model ? *options.model : named ? *named : kTI92;
    if (output.empty()) output = (source.parent_path() / (varname + "." + textextension(model))).string();

    // "txt2var notes.92t" names its own output: the file would be lost to a copy of itself.
    std::error_code same;
    if (std::filesystem::equivalent(source, output, same))
        return refuse(output, "the TI-92 file would replace the text file it is made from. Nothing was written.");

    std::string why;
    const auto text = readtextfile(source, &why, kMaxTextFile);
    if (!text) return refuse(input, why);
    const auto tibytes = texttotibytes(*text, &why);
    if (!tibytes || !textfits(*tibytes, &why)) return refuse(input, why + " Nothing was written.");
    const auto name = utf8_to_tibytes(varname, kTiNameSize, &why);
    if (!name) return refuse(input, "the variable name: " + why + ". Nothing was written.");
    // The comment is refused like the text, before anything is written; its length counts
    // characters, not the bytes of their UTF-8.
    bool cut = false;
    if (!commenttibytes(comment, &why, &cut)) return refuse(input, why + ". Nothing was written.");
    if (cut) std::fprintf(stderr, "tessaly92-cli: the comment is cut to its first %zu characters\n", kTiCommentSize);

    TemporaryStore temp;
    if (!temp.ok()) return refuse(input, "cannot make a temporary package store", kFailed);
    PackageStore store(temp.folder());
    NullPump pump;
    TerminalProgress progress(pump);
    progress.quiet = true;
    TransferState state;
    if (!stagetext(store, *name, *tibytes, progress, &why)) return refuse(input, why + " Nothing was written.", kFailed);
    if (!savepackage(output, false, store, comment, progress, state, &why, model)) return refuse(output, why, kFailed);
    return kOk;
}

// The text variables of a TI-92 file as lines of UTF-8, each with its command byte as a
// leading space.
int cmd_var2txt(const Options&, const Args& args) {
    if (args.empty() || args.size() > 2 || args[0].starts_with("-")) {
        printusage("var2txt");
        return kUsage;
    }
    const std::string& path = args[0];
    std::string why;
    const auto file = readtifile(path, &why);
    if (!file) return refuse(path, why);
    std::optional<std::string> wanted;
    if (args.size() == 2) {
        wanted = utf8_to_tibytes(args[1], 2 * kTiNameSize + 1, &why);
        if (!wanted) return refuse(args[1], why);
    }
    const auto variables = file->variables();
    std::vector<bool> chosen(variables.size(), false);
    bool any = false;
    const TiEntry* other = nullptr;  // a variable of that name that is no text
    for (std::size_t k = 0; k < variables.size(); ++k) {
        const TiEntry& v = *variables[k];
        const bool match = wanted ? v.fullname() == *wanted || v.name == *wanted : v.type == kTextType;
        if (!match) continue;
        // A bare name can match in several folders: the texts among them are shown.
        if (v.type != kTextType) other = &v;
        else chosen[k] = any = true;
    }
    if (!any && other)
        return refuse(args[1], "not a text variable (" + std::string(typename_of(other->type)) + ")");
    if (!any)
        return refuse(path, wanted ? "holds no variable named " + args[1] : std::string("holds no text variable"));
    const auto view = extracttexts(path, [&](std::size_t k) { return k < chosen.size() && chosen[k]; }, &why);
    if (!view) return refuse(path, why);
    // Lines as the editor shows them, without the calculator's command byte, one line break
    // between two lines: txt2var puts both back, so what var2txt prints converts back to the
    // same text. Only a last line with something on it gets a break of its own.
    std::string out;
    for (std::size_t k = 0; k < view->lines.size(); ++k) {
        if (k > 0) out += '\n';
        out += tibytes_to_utf8(linetext(view->lines[k]));
    }
    if (!view->lines.empty() && !linetext(view->lines.back()).empty()) out += '\n';
    std::fputs(terminaltext(out).c_str(), stdout);
    return kOk;
}

} // namespace tessaly::cli
