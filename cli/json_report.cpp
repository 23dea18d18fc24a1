#include "cli/json_report.h"

#include "platform/text.h"

#include <cstdio>

namespace keldor::cli {

std::string jsonString(std::string_view utf8) {
    std::string out = "\"";
    for (const char c : utf8) {
        const auto byte = static_cast<unsigned char>(c);
        switch (c) {
        case '"':
            out += "\\\"";
            break;
        case '\\':
            out += "\\\\";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\r':
            out += "\\r";
            break;
        case '\t':
            out += "\\t";
            break;
        default:
            if (byte < 0x20) {
                char escaped[8];
                std::snprintf(escaped, sizeof escaped, "\\u%04x", byte);
                out += escaped;
            } else {
                out += c;
            }
        }
    }
    out += '"';
    return out;
}

std::string_view outcomeName(engine::RunOutcome outcome) {
    switch (outcome) {
    case engine::RunOutcome::Completed:
        return "completed";
    case engine::RunOutcome::CouldNotOpen:
        return "couldNotOpen";
    case engine::RunOutcome::FolderNotCreated:
        return "folderNotCreated";
    case engine::RunOutcome::NotOutlookExpress:
        return "notOutlookExpress";
    case engine::RunOutcome::NotMessageFile:
        return "notMessageFile";
    case engine::RunOutcome::WriteFailed:
        return "writeFailed";
    }
    return "failed";
}

std::string jsonFailure(std::string_view outcome, const Text& message) {
    return "{\"outcome\": " + jsonString(outcome) +
           ", \"message\": " + jsonString(platform::toUtf8(message)) + "}";
}

namespace {

std::string text(const Text& t) {
    return jsonString(platform::toUtf8(t));
}

// The "files" array; with `cut`, each entry also says whether it was cut.
std::string jsonFiles(const std::vector<engine::RenamedFile>& files,
                      const std::vector<bool>* cut = nullptr) {
    std::string out = "[";
    for (std::size_t i = 0; i < files.size(); ++i) {
        const engine::RenamedFile& file = files[i];
        out += i == 0 ? "" : ", ";
        out += "{\"number\": " + std::to_string(file.number);
        out += ", \"file\": " + text(platform::pathText(file.file.filename()));
        out += ", \"subject\": " + text(file.subject);
        out += ", \"date\": " + text(file.dateText);
        if (cut != nullptr) {
            out += std::string(", \"cut\": ") + (i < cut->size() && (*cut)[i] ? "true" : "false");
        }
        out += "}";
    }
    return out + "]";
}

} // namespace

std::string jsonReport(const engine::RunReport& report) {
    std::string out = "{\"outputFolder\": " + text(platform::pathText(report.outputFolder));
    out += ", \"mailCount\": " + std::to_string(report.mailCount);
    out += ", \"recordCount\": " + std::to_string(report.recordCount);
    out += std::string(", \"stopped\": ") + (report.stopped ? "true" : "false");
    out += ", \"files\": " + jsonFiles(report.files) + "}";
    return out;
}

std::string jsonReport(const engine::ExtractReport& report) {
    const engine::LiveDamage& d = report.damage;
    std::string out = "{\"outputFolder\": " + text(platform::pathText(report.outputFolder));
    out += ", \"mailCount\": " + std::to_string(report.mailCount);
    out += ", \"messageCount\": " + std::to_string(report.headerCount);
    out += ", \"listedCount\": " + std::to_string(report.listedCount);
    out += ", \"withoutText\": " + std::to_string(report.withoutText);
    out += std::string(", \"stopped\": ") + (report.stopped ? "true" : "false");
    const std::pair<const char*, int> damage[] = {
        {"treeLoops", d.treeLoops},         {"badNodes", d.badNodes},
        {"overfullNodes", d.overfullNodes}, {"repeatedEntries", d.repeatedEntries},
        {"badRecords", d.badRecords},       {"chainLoops", d.chainLoops},
        {"badBlocks", d.badBlocks},         {"oversizedBlocks", d.oversizedBlocks},
    };
    out += ", \"damage\": {";
    for (std::size_t i = 0; i < std::size(damage); ++i) {
        out += std::string(i == 0 ? "" : ", ") + "\"" + damage[i].first +
               "\": " + std::to_string(damage[i].second);
    }
    out += "}, \"files\": " + jsonFiles(report.files, &report.cut) + "}";
    return out;
}

} // namespace keldor::cli
