#pragma once
// The fixed texts of the three windows, named after their controls. Both
// front ends take every caption from here; "&" marks the access key.

namespace keldor::ui {

// The application title: caption of the main window and the about box,
// title of every message box, and the caption by which a second start finds
// the running instance.
inline constexpr char16_t kApplicationTitle[] = u"Keldor";

// The product-series banner in the header bands (its text is ours).
inline constexpr char16_t kBanner[] = u"KELDOR MAIL TOOLS";

namespace main_captions {
inline constexpr char16_t lblHeader[] = u"Outlook Expreｓｓ で誤って削除したメールを復元します。";
inline constexpr char16_t Label2[] = u"１．復元するフォルダ（DBXファイル）を指定してください。";
// optDefault: the default identity's name, then this (see optDefaultCaption).
inline constexpr char16_t optDefaultSuffix[] = u"の削除済みアイテムフォルダ(&D)";
inline constexpr char16_t optFolder[] = u"以下に指定するフォルダ（DBXファイル）(&F)";
inline constexpr char16_t cmdFindDBX[] = u"参照";
inline constexpr char16_t Label5[] = u"２．EMLファイルの出力先のフォルダを指定してください。(&E)";
inline constexpr char16_t cmdFindEML[] = u"参照";
inline constexpr char16_t Label7[] =
    u"（指定されたフォルダに、「メール復元YYYYMMDDhhmmss」という名前のサブフォルダを作成します。）";
inline constexpr char16_t Label1[] = u"３．欠落したデータを以下の文字で置き換えます。";
inline constexpr char16_t Label3[] = u"半角文字(&H):";
inline constexpr char16_t txtNullAnk[] = u"*";
inline constexpr char16_t Label4[] = u"全角文字(&Z):";
inline constexpr char16_t txtNullKanji[] = u"■";
inline constexpr char16_t Label6[] = u"（エンコードが日本語(JIS)のメールのみ）";
inline constexpr char16_t cmdStart[] = u"開始";
inline constexpr char16_t cmdStop[] = u"停止";
inline constexpr char16_t lblPercent[] = u"0%";
inline constexpr char16_t lblStatus[] = u"0通のメールを復元";
inline constexpr char16_t lblProc[] = u"復元中";
inline constexpr char16_t lblRename[] = u"ﾘﾈｰﾑ中";
inline constexpr char16_t lblMessage[] = u"メッセージ"; // design time only; cleared at load
inline constexpr char16_t mnuFile[] = u"ファイル(&F)";
inline constexpr char16_t mnuFileRescue[] = u"破損したファイルから救出(&R)...";
inline constexpr char16_t mnuFileExit[] = u"終了(&X)";
inline constexpr char16_t mnuHelp[] = u"ヘルプ(&H)";
inline constexpr char16_t mnuHelpHelp[] = u"トピックの検索(&H)...";
inline constexpr char16_t mnuHelpAbout[] = u"バージョン情報(&A)...";
} // namespace main_captions

namespace picker_captions {
inline constexpr char16_t frmDBX[] = u"DBXファイルを検索";
inline constexpr char16_t Label3[] = u"Outlook Express のメッセージファイルを指定します。";
inline constexpr char16_t Label1[] = u"ユーザ(&U):";
inline constexpr char16_t Label2[] = u"DBXファイル(&D):";
inline constexpr char16_t nameColumn[] = u"DBXファイル名";
inline constexpr char16_t sizeColumn[] = u"サイズ";
inline constexpr char16_t cmdOpen[] = u"ファイルを開く";
inline constexpr char16_t cmdOK[] = u"OK";
inline constexpr char16_t cmdCancel[] = u"キャンセル";
} // namespace picker_captions

namespace about_captions {
inline constexpr char16_t lblDescription[] = u"アプリケーション情報";
inline constexpr char16_t cmdOK[] = u"OK";
} // namespace about_captions

// The title of the folder chooser for the output location.
inline constexpr char16_t kBrowseForFolderTitle[] = u"フォルダを選択してください";

// The questions of Stop and of closing during a run.
inline constexpr char16_t kStopQuestion[] = u"停止しますか?";
inline constexpr char16_t kCloseQuestion[] = u"終了しますか?";

// The help file, beside the program.
inline constexpr char16_t kHelpFileName[] = u"BRAMLEX.chm";

} // namespace keldor::ui
