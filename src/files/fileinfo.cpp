#include "files/fileinfo.h"

#include <cstdio>

#include "link/typenames.h"

namespace tessaly {

std::vector<VariableRow> variablerows(const TiFile& file) {
    std::vector<VariableRow> rows;
    for (const auto& e : file.entries) {
        if (e.isfolder()) continue;
        std::string caption = e.folder.empty() ? e.name : e.folder + "\\" + e.name;
        if (caption.size() > kVariableCaptionWidth) caption.resize(kVariableCaptionWidth);
        const bool archived = file.model->hasarchive && e.attribute == file.model->archivedattribute;
        const std::string_view attribute = archived ? "archived" : e.attribute == kLockedAttribute ? "locked" : "";
        rows.push_back({std::move(caption), std::string(file.model->typename_of(e.type)), attribute});
    }
    return rows;
}

namespace {

// "-" for a field with no value, assigned as a std::string: GCC 12 at -O2 and above reports a
// false -Wrestrict overlap when a literal is assigned to the fields of a fresh FileInfo.
std::string dash() { return "-"; }

FileInfo corrupted(std::string why) {
    FileInfo info;
    info.entries = dash();
    info.length = dash();
    info.description = kCorruptedText;
    info.describable = true;
    info.error = std::move(why);
    return info;
}

} // namespace

FileInfo tifileinfo(std::span<const std::uint8_t> head, std::uint64_t length) {
    // Another model's file has the same layout but other type codes and contents: read as a
    // TI-92 file it would list wrong types and could be sent to the calculator.
    if (std::string signature = othermodelsignature(head); !signature.empty()) {
        FileInfo info = corrupted("it is signed " + signature + ", for another calculator model");
        info.description = othermodeldescription(signature);
        info.othermodel = std::move(signature);
        return info;
    }
    if (head.size() <= 8) return corrupted("the file is only " + std::to_string(length) + " bytes long");
    if (head[8] != kTiFormatByte) {
        char hex[8];
        std::snprintf(hex, sizeof hex, "0x%02X", head[8]);
        return corrupted(std::string("its format byte (offset 8) is ") + hex + ", not 0x01");
    }
    std::string why;
    auto file = parsetiheader(head, length, &why);
    if (!file) return corrupted(why);
    FileInfo info;
    info.sendable = true;
    info.describable = true;
    info.entries = std::to_string(file->count);
    info.variables = file->variables().size();
    info.folders = file->entries.size() - info.variables;
    if (file->count == 1) info.entries += "  (" + std::string(file->model->typename_of(file->entries[0].type)) + ")";
    info.model = file->model;
    info.length = std::to_string(length);
    info.description = file->comment;
    if (fargokind(head) == FargoKind::Program) {
        info.fargoprogram = true;
        info.description += "      (Req. lib: ";
        const auto names = fargolibraries(head);
        for (std::size_t i = 0; i < names.size(); ++i) info.description += (i ? ", " : "") + names[i];
        info.description += ")";
    }
    info.rows = variablerows(*file);
    return info;
}

std::string othermodelsignature(std::span<const std::uint8_t> head) {
    static constexpr std::size_t kLength = 8;
    static constexpr std::string_view kAnyModel = "**TI";
    if (head.size() < kLength) return {};
    const std::string signature(head.begin(), head.begin() + static_cast<std::ptrdiff_t>(kLength));
    if (modelbysignature(signature) || !signature.starts_with(kAnyModel)) return {};
    return signature;
}

std::string othermodeldescription(const std::string& signature) {
    return std::string(kOtherModelText) + " (" + signature + ")";
}

std::string tifileproblem(const FileInfo& info) {
    if (info.error.empty()) return {};
    return (info.othermodel.empty() ? std::string(kCorruptedText) : std::string("not a TI-92 file")) + ": " + info.error;
}

std::string shortsize(std::uint64_t bytes) {
    constexpr std::uint64_t kKilo = 1024, kMega = kKilo * kKilo;
    if (bytes < kKilo) return std::to_string(bytes) + (bytes == 1 ? " byte" : " bytes");
    if (bytes < kMega) return std::to_string((bytes + kKilo / 2) / kKilo) + " KB";
    const std::uint64_t tenths = (bytes * 10 + kMega / 2) / kMega;
    return std::to_string(tenths / 10) + "." + std::to_string(tenths % 10) + " MB";
}

std::string flashpartmodels(const FlashPart& part) {
    const auto models = flashmodels(part.devicetype, part.hardwareid);
    std::string names;
    for (std::size_t i = 0; i < models.size(); ++i) {
        if (i > 0) names += i + 1 == models.size() ? " or " : ", ";
        names += models[i]->name;
    }
    if (!names.empty()) return names;
    char text[64];
    std::snprintf(text, sizeof text, "no model (device type %02X, hardware ID %u)", part.devicetype, part.hardwareid);
    return text;
}

std::string flashdescription(const std::vector<FlashPartHeader>& parts, std::string_view filename) {
    const FlashPartHeader* sent = nullptr;
    for (const FlashPartHeader& p : parts)
        if (p.part.sent() && !sent) sent = &p;
    if (!sent) return "Flash file without a part to send";
    const FlashPart& part = sent->part;
    auto models = flashmodels(part.devicetype, part.hardwareid);
    if (const CalculatorModel* named = modelbyextension(filename)) {
        auto byname = models;
        std::erase_if(byname, [&](const CalculatorModel* m) { return m->fileprefix != named->fileprefix; });
        if (!byname.empty()) models = byname;
    }
    std::string text;
    if (!models.empty()) {
        text += models.front()->name;
        text += ' ';
    }
    text += flashkindname(part.datatype);
    if (!part.name.empty()) {
        text += ' ';
        text += part.name;
    }
    char version[40];
    std::snprintf(version, sizeof version, ", version %u.%02u, ", part.revisionmajor, part.revisionminor);
    text += version;
    text += shortsize(sent->datasize);
    return text;
}

FileInfo readfileinfo(const std::filesystem::path& path) {
    std::vector<std::uint8_t> head;
    std::uint64_t length = 0;
    std::string why;
    const FileKind kind = filekind(path.filename().string());
    if (!readfilehead(path, head, length, &why)) {
        FileInfo info = corrupted(why);
        info.describable = false;
        return info;
    }
    FileInfo info;
    switch (kind) {
    case FileKind::TiFile: return tifileinfo(head, length);
    case FileKind::Flash: {
        auto parts = readflashheaders(path, &why);
        info.entries = dash();
        info.length = std::to_string(length);
        if (!parts) {
            info.description = kDamagedFlashText;
            info.error = std::move(why);
            return info;
        }
        info.description = flashdescription(*parts, path.filename().string());
        info.flashfile = true;
        info.flashparts = std::move(*parts);
        return info;
    }
    case FileKind::Text: {
        info.entries = dash();
        info.length = std::to_string(length);
        info.description.assign(head.begin(), head.begin() + static_cast<std::ptrdiff_t>(std::min<std::size_t>(head.size(), kTextPreviewLength)));
        if (length > kTextPreviewLength) info.description += "...";
        info.descriptionhint = info.description + "\n" + std::string(kClickToEdit);
        info.textfile = true;
        return info;
    }
    case FileKind::Uue:
        info.entries = dash();
        info.length = dash();
        info.description = kUueText;
        return info;
    }
    return info;
}

} // namespace tessaly
