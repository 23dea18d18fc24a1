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

std::string jsonReport(const engine::RunReport& report) {
    const auto text = [](const Text& t) { return jsonString(platform::toUtf8(t)); };
    std::string out = "{\"outputFolder\": " + text(platform::pathText(report.outputFolder));
    out += ", \"mailCount\": " + std::to_string(report.mailCount);
    out += ", \"recordCount\": " + std::to_string(report.recordCount);
    out += std::string(", \"stopped\": ") + (report.stopped ? "true" : "false");
    out += ", \"files\": [";
    bool first = true;
    for (const engine::RenamedFile& file : report.files) {
        out += first ? "" : ", ";
        first = false;
        out += "{\"number\": " + std::to_string(file.number);
        out += ", \"file\": " + text(platform::pathText(file.file.filename()));
        out += ", \"subject\": " + text(file.subject);
        out += ", \"date\": " + text(file.dateText) + "}";
    }
    out += "]}";
    return out;
}

} // namespace keldor::cli
