#pragma once
// Every text a run shows or reports: the status area's, its messages, and
// the command line's report lines. One place for each, the same for every
// kind of run.

#include "engine/dbx_layout.h"
#include "platform/files.h"
#include "platform/text.h"

#include <cstdint>
#include <filesystem>
#include <string_view>
#include <system_error>

namespace keldor::engine {

inline Text couldNotOpenMessage(const std::filesystem::path& mailbox) {
    return u"DBXファイルをオープンできませんでした。\r\n" + platform::pathText(mailbox);
}

inline Text folderNotCreatedMessage() {
    return u"出力先フォルダの作成に失敗しました。";
}

// For the command line, which adds it to the message above: the folder it
// tried to make and the system's reason.
inline Text folderFailureDetail(TextView folder, const std::error_code& error) {
    return Text(folder) + u"\r\n" + platform::errorReason(error);
}

inline Text headerMessage(dbx::HeaderCheck check) {
    return check == dbx::HeaderCheck::NotOutlookExpressFile
               ? u"このファイルは、Outlock Express のファイルではありません。"
               : u"このファイルは、Outlock Express のメッセージファイルではありません。";
}

inline Text writeFailedMessage(const std::filesystem::path& file, const std::error_code& error) {
    return u"メールファイルの書き込みに失敗しました。\r\n" + platform::pathText(file) + u"\r\n" +
           platform::errorReason(error);
}

// The output folders' names, before the time of the run.
inline constexpr std::u16string_view kRecoverFolderStem = u"メール復元";
inline constexpr std::u16string_view kExtractFolderStem = u"メール抽出";
inline constexpr std::u16string_view kRescueFolderStem = u"メール救出";
// The two folders of a rescue.
inline constexpr std::u16string_view kLiveMailFolder = u"未削除メール";
inline constexpr std::u16string_view kDeletedMailFolder = u"削除済みメール";

// The status area.
inline constexpr std::u16string_view kListingDeletedRecords = u"削除レコードを復元しています。";

inline Text listedRecordsText(std::int64_t count) {
    return Text(kListingDeletedRecords) + u"(レコード件数=" + platform::toText(count) + u")";
}

inline Text scanningText(int percent) {
    return u"ファイル全体からメールを探しています。(" + platform::toText(percent) + u"%)";
}

inline Text percentText(int percent) {
    return platform::toText(percent) + u"%";
}

// "n通のメールを復元", with the verb of the step ("復元", "抽出", "リネーム").
inline Text mailStatusText(std::int64_t count, TextView verb) {
    return platform::toText(count) + u"通のメールを" + Text(verb);
}

inline constexpr std::u16string_view kRecoverVerb = u"復元";
inline constexpr std::u16string_view kExtractVerb = u"抽出";
inline constexpr std::u16string_view kRescueVerb = u"救出";
inline constexpr std::u16string_view kRenameVerb = u"リネーム";

// The closing messages.
inline constexpr std::u16string_view kNoMailFound = u"メールが見つかりませんでした。";

inline Text mailFoundQuestion(int count) {
    return platform::toText(count) +
           u"通のメールが見つかりました。出力先フォルダをExplorerで開きますか？";
}

// The command line's report lines.
inline Text mailFoundSummary(int count) {
    return count == 0 ? Text(kNoMailFound) : platform::toText(count) + u"通のメールが見つかりました。";
}

inline Text mailExtractedSummary(int count) {
    return count == 0 ? Text(kNoMailFound) : platform::toText(count) + u"通のメールを抽出しました。";
}

inline Text mailRescuedSummary(int count) {
    return count == 0 ? Text(kNoMailFound) : platform::toText(count) + u"通のメールを救出しました。";
}

inline constexpr std::u16string_view kStoppedNote = u"（途中で停止しました）";

inline Text cutFileNote(TextView fileName) {
    return u"途中で切れています: " + Text(fileName);
}

inline Text damageNote(int places) {
    return u"壊れた箇所: " + platform::toText(places) + u"（読み飛ばしました）";
}

inline constexpr std::u16string_view kSkippedLabel = u"スキップ: ";
inline constexpr std::u16string_view kNotMailboxFileNote =
    u"メールボックスのファイルではないため、読み飛ばしました。";

} // namespace keldor::engine
