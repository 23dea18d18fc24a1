#include "ui/about_texts.h"

#include "platform/text.h"

namespace keldor::ui {

ProgramVersion programVersion() {
    return ProgramVersion{KELDOR_VERSION_MAJOR, KELDOR_VERSION_MINOR, KELDOR_VERSION_REVISION};
}

Text aboutTitleLine(TextView title) {
    return Text(title) + u" システム情報：";
}

Text aboutVersionLine(TextView title, const ProgramVersion& version) {
    Text line = u"\u3000";
    line += title;
    line += u" のバージョン： ";
    line += platform::toText(version.major) + u"." + platform::toText(version.minor) + u"." +
            platform::toText(version.revision);
    return line;
}

Text aboutDescription(TextView title, const ProgramVersion& version) {
    static constexpr char16_t kParagraphBreak[] = u"\r\n\r\n";
    return aboutVersionLine(title, version) + kParagraphBreak +
           u"\u3000Outlook Expree "
           u"で削除済みアイテムフォルダから誤って消してしまったメールデータを復元します。" +
           kParagraphBreak +
           u"\u3000このソフトウェアは、フリーソフトです。誰でも自由に使用することができます。" +
           kParagraphBreak +
           u"\u3000復元したメールは元のメールボックスとは別のフォルダに保存され、メールボックス自体"
           u"は変更されません。";
}

Text aboutRightsLine() {
    return u"Copyright (C) 2026 Keldor project. All rights reserved.";
}

Text aboutDisclaimer() {
    return u"警告: このプログラムは著作権法および国際条約により保護されています。"
           u"このプログラムの全部または一部を無断で改変・再配布することは禁じられています。";
}

} // namespace keldor::ui
