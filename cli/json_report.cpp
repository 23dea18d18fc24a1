#include "cli/json_report.h"

#include "engine/run_messages.h"
#include "platform/text.h"

#include <algorithm>

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
    return JsonObject().add("outcome", outcome).add("message", message).str();
}

JsonObject& JsonObject::addRaw(std::string_view key, std::string_view json) {
    out_ += out_.size() > 1 ? ", " : "";
    out_ += jsonString(key);
    out_ += ": ";
    out_ += json;
    return *this;
}

JsonObject& JsonObject::add(std::string_view key, std::string_view utf8) {
    return addRaw(key, jsonString(utf8));
}

JsonObject& JsonObject::add(std::string_view key, const Text& text) {
    return add(key, std::string_view(platform::toUtf8(text)));
}

JsonObject& JsonObject::add(std::string_view key, std::int64_t number) {
    return addRaw(key, std::to_string(number));
}

JsonObject& JsonObject::add(std::string_view key, bool value) {
    return addRaw(key, value ? "true" : "false");
}

std::string jsonArray(const std::vector<std::string>& items) {
    std::string out = "[";
    for (std::size_t i = 0; i < items.size(); ++i) {
        out += i == 0 ? "" : ", ";
        out += items[i];
    }
    return out + "]";
}

namespace {

// The "files" array; with `cut`, each entry also says whether it was cut.
std::string jsonFiles(const std::vector<engine::RenamedFile>& files,
                      const std::vector<bool>* cut = nullptr) {
    std::vector<std::string> items;
    items.reserve(files.size());
    for (std::size_t i = 0; i < files.size(); ++i) {
        const engine::RenamedFile& file = files[i];
        JsonObject item;
        item.add("number", std::int64_t{file.number})
            .add("file", platform::pathText(file.file.filename()))
            .add("subject", file.subject)
            .add("date", file.dateText);
        if (cut != nullptr) {
            item.add("cut", i < cut->size() && (*cut)[i]);
        }
        items.push_back(item.str());
    }
    return jsonArray(items);
}

// {"twinPart", "otherMessages"}: lost bytes brought back from a second copy.
std::string jsonRestored(const repair::RestoredCounts& restored) {
    return JsonObject()
        .add("twinPart", restored.twinPart)
        .add("otherMessages", restored.otherMessages)
        .str();
}

} // namespace

std::string jsonRecoverReport(const engine::RunReport& report) {
    return JsonObject()
        .add("outputFolder", platform::pathText(report.outputFolder))
        .add("mailCount", std::int64_t{report.mailCount})
        .add("recordCount", report.recordCount)
        .add("stopped", report.stopped)
        .addRaw("restored", jsonRestored(report.restored))
        .addRaw("files", jsonFiles(report.files))
        .str();
}

std::string jsonExtractReport(const engine::RunReport& report) {
    const engine::LiveDamage& d = report.damage;
    const std::pair<const char*, int> damage[] = {
        {"treeLoops", d.treeLoops},         {"badNodes", d.badNodes},
        {"overfullNodes", d.overfullNodes}, {"repeatedEntries", d.repeatedEntries},
        {"badRecords", d.badRecords},       {"chainLoops", d.chainLoops},
        {"badBlocks", d.badBlocks},         {"oversizedBlocks", d.oversizedBlocks},
    };
    JsonObject counts;
    for (const auto& [name, count] : damage) {
        counts.add(name, std::int64_t{count});
    }
    return JsonObject()
        .add("outputFolder", platform::pathText(report.outputFolder))
        .add("mailCount", std::int64_t{report.mailCount})
        .add("messageCount", report.headerCount)
        .add("listedCount", report.listedCount)
        .add("withoutText", std::int64_t{report.withoutText})
        .add("stopped", report.stopped)
        .addRaw("damage", counts.str())
        .addRaw("restored", jsonRestored(report.restored))
        .addRaw("files", jsonFiles(report.files, &report.cut))
        .str();
}

std::string jsonScanReport(const engine::RunReport& report) {
    const engine::ScanCounts& counts = report.scan;
    std::vector<std::string> groups;
    for (const engine::OffsetGroup& group : report.offsetGroups) {
        groups.push_back(JsonObject()
                             .add("shift", group.shift)
                             .add("liveBlocks", static_cast<std::int64_t>(group.liveBlocks))
                             .add("deletedBlocks", static_cast<std::int64_t>(group.deletedBlocks))
                             .str());
    }
    // The files of each output folder, in the order of the folders.
    const auto output = [&](std::size_t index, std::u16string_view folder) {
        std::size_t first = 0;
        for (std::size_t i = 0; i < index && i < report.outputCounts.size(); ++i) {
            first += static_cast<std::size_t>(report.outputCounts[i]);
        }
        const std::size_t count = index < report.outputCounts.size()
                                      ? static_cast<std::size_t>(report.outputCounts[index])
                                      : 0;
        const auto begin = report.files.begin() + static_cast<std::ptrdiff_t>(
                                                      std::min(first, report.files.size()));
        const auto end = report.files.begin() + static_cast<std::ptrdiff_t>(
                                                    std::min(first + count, report.files.size()));
        return JsonObject()
            .add("folder", Text(folder))
            .add("mailCount", static_cast<std::int64_t>(count))
            .addRaw("files", jsonFiles({begin, end}))
            .str();
    };
    return JsonObject()
        .add("outputFolder", platform::pathText(report.outputFolder))
        .add("mailCount", std::int64_t{report.mailCount})
        .add("stopped", report.stopped)
        .addRaw("blocks", JsonObject()
                              .add("live", static_cast<std::int64_t>(counts.liveBlocks))
                              .add("deleted", static_cast<std::int64_t>(counts.deletedBlocks))
                              .add("rejected", static_cast<std::int64_t>(counts.rejectedBlocks))
                              .str())
        .add("fragmentsUnjoined", static_cast<std::int64_t>(counts.unjoinedFragments))
        .add("cutMessages", static_cast<std::int64_t>(counts.cutMessages))
        .add("holesFilled", static_cast<std::int64_t>(counts.holesFilled))
        .addRaw("restored", jsonRestored(report.restored))
        .addRaw("offsetGroups", jsonArray(groups))
        .addRaw("live", output(0, engine::kLiveMailFolder))
        .addRaw("deleted", output(1, engine::kDeletedMailFolder))
        .str();
}

} // namespace keldor::cli
