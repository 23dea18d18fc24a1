#pragma once
// The failure messages a run shows, the same texts for every kind of run.

#include "engine/dbx_layout.h"
#include "platform/files.h"
#include "platform/text.h"

#include <filesystem>
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

} // namespace keldor::engine
