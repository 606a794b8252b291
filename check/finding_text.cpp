#include "check/finding_text.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "check/pe_image.h"

namespace o2s {
namespace {

// "ERROR!"
const char kError[] = "ERROR!";
// "注意:"
const char kNote[] = "\x92\x8d\x88\xd3:";
// "、"
const char kSeparator[] = "\x81" "A";
// "%s %u行目"
const char kLineOf[] = "%s %u\x8ds\x96\xda";
// "サービス %s"
const char kServiceIs[] = "\x83T\x81[\x83r\x83X %s";
// "ファイル %s"
const char kFileIs[] = "\x83t\x83@\x83" "C\x83\x8b %s";
// "  ドライバーファイルがフォルダーにありません (%s も %s もありません)。\n"
const char kDriverMissing[] =
    "  \x83h\x83\x89\x83" "C\x83o\x81[\x83t\x83@\x83" "C\x83\x8b\x82\xaa\x83t\x83H\x83"
    "\x8b\x83_\x81[\x82\xc9\x82\xa0\x82\xe8\x82\xdc\x82\xb9\x82\xf1 (%s \x82\xe0 %s \x82"
    "\xe0\x82\xa0\x82\xe8\x82\xdc\x82\xb9\x82\xf1)\x81" "B\n";
// "  セットアップは「ファイル %s が見つかりません」と表示して止まります。\n"
const char kSetupNotFound[] =
    "  \x83Z\x83" "b\x83g\x83" "A\x83" "b\x83v\x82\xcd\x81u\x83t\x83@\x83" "C\x83\x8b %s "
    "\x82\xaa\x8c\xa9\x82\xc2\x82\xa9\x82\xe8\x82\xdc\x82\xb9\x82\xf1\x81v\x82\xc6\x95"
    "\x5c\x8e\xa6\x82\xb5\x82\xc4\x8e~\x82\xdc\x82\xe8\x82\xdc\x82\xb7\x81" "B\n";
// "  [SourceDisksFiles] に %s の行がありません。\n"
const char kNoSourceDisksFiles[] =
    "  [SourceDisksFiles] \x82\xc9 %s \x82\xcc\x8ds\x82\xaa\x82\xa0\x82\xe8\x82\xdc\x82"
    "\xb9\x82\xf1\x81" "B\n";
// "  セットアップはファイルの置き場所がわからず、「INF ファイル txtsetup.sif が壊れているか、ありません」
//  と表示して止まります。\n"
const char kSetupCorrupt[] =
    "  \x83Z\x83" "b\x83g\x83" "A\x83" "b\x83v\x82\xcd\x83t\x83@\x83" "C\x83\x8b\x82\xcc"
    "\x92u\x82\xab\x8f\xea\x8f\x8a\x82\xaa\x82\xed\x82\xa9\x82\xe7\x82\xb8\x81" "A\x81uIN"
    "F \x83t\x83@\x83" "C\x83\x8b txtsetup.sif \x82\xaa\x89\xf3\x82\xea\x82\xc4\x82\xa2"
    "\x82\xe9\x82\xa9\x81" "A\x82\xa0\x82\xe8\x82\xdc\x82\xb9\x82\xf1\x81v\x82\xc6\x95"
    "\x5c\x8e\xa6\x82\xb5\x82\xc4\x8e~\x82\xdc\x82\xe8\x82\xdc\x82\xb7\x81" "B\n";
// "  [SCSI] にサービス %s の行がありません。\n"
const char kNotInScsi[] =
    "  [SCSI] \x82\xc9\x83T\x81[\x83r\x83X %s \x82\xcc\x8ds\x82\xaa\x82\xa0\x82\xe8\x82"
    "\xdc\x82\xb9\x82\xf1\x81" "B\n";
// "  セットアップはこのアダプターの名前を見つけられず、ドライバーを読み込まないことがあります。\n"
const char kSetupNoName[] =
    "  \x83Z\x83" "b\x83g\x83" "A\x83" "b\x83v\x82\xcd\x82\xb1\x82\xcc\x83" "A\x83_\x83v"
    "\x83^\x81[\x82\xcc\x96\xbc\x91O\x82\xf0\x8c\xa9\x82\xc2\x82\xaf\x82\xe7\x82\xea\x82"
    "\xb8\x81" "A\x83h\x83\x89\x83" "C\x83o\x81[\x82\xf0\x93\xc7\x82\xdd\x8d\x9e\x82\xdc"
    "\x82\xc8\x82\xa2\x82\xb1\x82\xc6\x82\xaa\x82\xa0\x82\xe8\x82\xdc\x82\xb7\x81" "B\n";
// "  追加・変更されたハードウェア ID %u 件 (最初は %s) のサービス %s が、[SCSI.Load] にありま
//  せん。\n"
const char kIdWithoutLoad[] =
    "  \x92\xc7\x89\xc1\x81" "E\x95\xcf\x8dX\x82\xb3\x82\xea\x82\xbd\x83n\x81[\x83h\x83"
    "E\x83" "F\x83" "A ID %u \x8c\x8f (\x8d\xc5\x8f\x89\x82\xcd %s) \x82\xcc\x83T\x81["
    "\x83r\x83X %s \x82\xaa\x81" "A[SCSI.Load] \x82\xc9\x82\xa0\x82\xe8\x82\xdc\x82\xb9"
    "\x82\xf1\x81" "B\n";
// "  セットアップはこの機器のドライバーを読み込まず、「ハード ディスクが見つかりません」となることがあります。\n"
const char kSetupNoDisk[] =
    "  \x83Z\x83" "b\x83g\x83" "A\x83" "b\x83v\x82\xcd\x82\xb1\x82\xcc\x8b@\x8a\xed\x82"
    "\xcc\x83h\x83\x89\x83" "C\x83o\x81[\x82\xf0\x93\xc7\x82\xdd\x8d\x9e\x82\xdc\x82\xb8"
    "\x81" "A\x81u\x83n\x81[\x83h \x83" "f\x83" "B\x83X\x83N\x82\xaa\x8c\xa9\x82\xc2\x82"
    "\xa9\x82\xe8\x82\xdc\x82\xb9\x82\xf1\x81v\x82\xc6\x82\xc8\x82\xe9\x82\xb1\x82\xc6"
    "\x82\xaa\x82\xa0\x82\xe8\x82\xdc\x82\xb7\x81" "B\n";
// "  %s は空のファイルです (0 バイト)。\n"
const char kDriverEmpty[] =
    "  %s \x82\xcd\x8b\xf3\x82\xcc\x83t\x83@\x83" "C\x83\x8b\x82\xc5\x82\xb7 (0 \x83o\x83"
    "C\x83g)\x81" "B\n";
// "  セットアップはこのドライバーを読み込めず、「ファイル %s を読み込めません」と表示して止まります。\n"
const char kSetupCannotLoad[] =
    "  \x83Z\x83" "b\x83g\x83" "A\x83" "b\x83v\x82\xcd\x82\xb1\x82\xcc\x83h\x83\x89\x83"
    "C\x83o\x81[\x82\xf0\x93\xc7\x82\xdd\x8d\x9e\x82\xdf\x82\xb8\x81" "A\x81u\x83t\x83@"
    "\x83" "C\x83\x8b %s \x82\xf0\x93\xc7\x82\xdd\x8d\x9e\x82\xdf\x82\xdc\x82\xb9\x82\xf1"
    "\x81v\x82\xc6\x95\x5c\x8e\xa6\x82\xb5\x82\xc4\x8e~\x82\xdc\x82\xe8\x82\xdc\x82\xb7"
    "\x81" "B\n";
// "  %s は Windows のドライバーではありません (PE 形式のファイルではありません)。\n"
const char kNotPeImage[] =
    "  %s \x82\xcd Windows \x82\xcc\x83h\x83\x89\x83" "C\x83o\x81[\x82\xc5\x82\xcd\x82"
    "\xa0\x82\xe8\x82\xdc\x82\xb9\x82\xf1 (PE \x8c`\x8e\xae\x82\xcc\x83t\x83@\x83" "C\x83"
    "\x8b\x82\xc5\x82\xcd\x82\xa0\x82\xe8\x82\xdc\x82\xb9\x82\xf1)\x81" "B\n";
// "  %s は Windows のドライバーではありません (サブシステムがドライバーの 1 ではなく %u です)。\n"
const char kNotNative[] =
    "  %s \x82\xcd Windows \x82\xcc\x83h\x83\x89\x83" "C\x83o\x81[\x82\xc5\x82\xcd\x82"
    "\xa0\x82\xe8\x82\xdc\x82\xb9\x82\xf1 (\x83T\x83u\x83V\x83X\x83" "e\x83\x80\x82\xaa"
    "\x83h\x83\x89\x83" "C\x83o\x81[\x82\xcc 1 \x82\xc5\x82\xcd\x82\xc8\x82\xad %u \x82"
    "\xc5\x82\xb7)\x81" "B\n";
// "  %s は %s 用のドライバーで、この %s 用のセットアップでは使えません。\n"
const char kWrongMachine[] =
    "  %s \x82\xcd %s \x97p\x82\xcc\x83h\x83\x89\x83" "C\x83o\x81[\x82\xc5\x81" "A\x82"
    "\xb1\x82\xcc %s \x97p\x82\xcc\x83Z\x83" "b\x83g\x83" "A\x83" "b\x83v\x82\xc5\x82\xcd"
    "\x8eg\x82\xa6\x82\xdc\x82\xb9\x82\xf1\x81" "B\n";
// "  セットアップが %s 用であることは、%s からわかります。\n"
const char kMachineToldBy[] =
    "  \x83Z\x83" "b\x83g\x83" "A\x83" "b\x83v\x82\xaa %s \x97p\x82\xc5\x82\xa0\x82\xe9\x82\xb1"
    "\x82\xc6\x82\xcd\x81" "A%s \x82\xa9\x82\xe7\x82\xed\x82\xa9\x82\xe8\x82\xdc\x82\xb7\x81" "B\n";
// "txtsetup.sif の [SetupData] の Architecture"
const char kFromSetupData[] = "txtsetup.sif \x82\xcc [SetupData] \x82\xcc Architecture";
// "フォルダーの名前"
const char kFromFolderName[] = "\x83t\x83H\x83\x8b\x83_\x81[\x82\xcc\x96\xbc\x91O";
// "txtsetup.sif のいちばん行の多い [SourceDisksFiles.*] / [SourceDisksNames.*]"
const char kFromSections[] =
    "txtsetup.sif \x82\xcc\x82\xa2\x82\xbf\x82\xce\x82\xf1\x8ds\x82\xcc\x91\xbd\x82\xa2 "
    "[SourceDisksFiles.*] / [SourceDisksNames.*]";
// "  %s は途中で切れています (セクションがファイルの終わりを越えています)。\n"
const char kDriverCut[] =
    "  %s \x82\xcd\x93r\x92\x86\x82\xc5\x90\xd8\x82\xea\x82\xc4\x82\xa2\x82\xdc\x82\xb7 (\x83Z\x83N\x83V\x83\x87\x83\x93\x82\xaa\x83t\x83@\x83" "C\x83\x8b\x82\xcc\x8fI\x82\xed\x82\xe8\x82\xf0\x89z\x82\xa6\x82\xc4\x82\xa2\x82\xdc\x82\xb7)\x81" "B\n";
// "  txtsetup.sif には、txtsetup.sif.orig にある行のうち %u 行がありません (最初は %s)。\n"
const char kSetupFileLost[] =
    "  txtsetup.sif \x82\xc9\x82\xcd\x81" "Atxtsetup.sif.orig \x82\xc9\x82\xa0\x82\xe9\x8ds\x82\xcc\x82\xa4\x82\xbf %u \x8ds\x82\xaa\x82\xa0\x82\xe8\x82\xdc\x82\xb9\x82\xf1 (\x8d\xc5\x8f\x89\x82\xcd %s)\x81" "B\n";
// "  txtsetup.sif が空にされたか、途中で切れたか、別のファイルで上書きされています。txtsetup.sif.orig から戻してください。\n"
const char kRestoreBackup[] =
    "  txtsetup.sif \x82\xaa\x8b\xf3\x82\xc9\x82\xb3\x82\xea\x82\xbd\x82\xa9\x81" "A\x93r\x92\x86\x82\xc5\x90\xd8\x82\xea\x82\xbd\x82\xa9\x81" "A\x95\xca\x82\xcc\x83t\x83@\x83" "C\x83\x8b\x82\xc5\x8f\xe3\x8f\x91\x82\xab\x82\xb3\x82\xea\x82\xc4\x82\xa2\x82\xdc\x82\xb7\x81" "Btxtsetup.sif.orig \x82\xa9\x82\xe7\x96\xdf\x82\xb5\x82\xc4\x82\xad\x82\xbe\x82\xb3\x82\xa2\x81" "B\n";
// "  [SCSI.Load] のファイル名 %s は、フォルダーの中のファイルの名前ではありません (パスの区切り、ドライブの : や .. を含みます)。開かずにおきました。\n"
const char kUnsafeLoadName[] =
    "  [SCSI.Load] \x82\xcc\x83t\x83@\x83" "C\x83\x8b\x96\xbc %s \x82\xcd\x81" "A\x83t\x83H\x83\x8b\x83_\x81[\x82\xcc\x92\x86\x82\xcc\x83t\x83@\x83" "C\x83\x8b\x82\xcc\x96\xbc\x91O\x82\xc5\x82\xcd\x82\xa0\x82\xe8\x82\xdc\x82\xb9\x82\xf1 (\x83p\x83X\x82\xcc\x8b\xe6\x90\xd8\x82\xe8\x81" "A\x83h\x83\x89\x83" "C\x83u\x82\xcc : \x82\xe2 .. \x82\xf0\x8a\xdc\x82\xdd\x82\xdc\x82\xb7)\x81" "B\x8aJ\x82\xa9\x82\xb8\x82\xc9\x82\xa8\x82\xab\x82\xdc\x82\xb5\x82\xbd\x81" "B\n";
// "  %s が使う %s は、フォルダーの中のファイルの名前ではありません (パスの区切り、ドライブの : や .. を含みます)。開かずにおきました。\n"
const char kUnsafeImportName[] =
    "  %s \x82\xaa\x8eg\x82\xa4 %s \x82\xcd\x81" "A\x83t\x83H\x83\x8b\x83_\x81[\x82\xcc\x92\x86\x82\xcc\x83t\x83@\x83" "C\x83\x8b\x82\xcc\x96\xbc\x91O\x82\xc5\x82\xcd\x82\xa0\x82\xe8\x82\xdc\x82\xb9\x82\xf1 (\x83p\x83X\x82\xcc\x8b\xe6\x90\xd8\x82\xe8\x81" "A\x83h\x83\x89\x83" "C\x83u\x82\xcc : \x82\xe2 .. \x82\xf0\x8a\xdc\x82\xdd\x82\xdc\x82\xb7)\x81" "B\x8aJ\x82\xa9\x82\xb8\x82\xc9\x82\xa8\x82\xab\x82\xdc\x82\xb5\x82\xbd\x81" "B\n";
// "  セットアップはこのファイルを見つけられず、止まります。\n"
const char kSetupCannotFind[] =
    "  \x83Z\x83" "b\x83g\x83" "A\x83" "b\x83v\x82\xcd\x82\xb1\x82\xcc\x83t\x83@\x83" "C\x83\x8b\x82\xf0\x8c\xa9\x82\xc2\x82\xaf\x82\xe7\x82\xea\x82\xb8\x81" "A\x8e~\x82\xdc\x82\xe8\x82\xdc\x82\xb7\x81" "B\n";
// "  %s は普通のファイルではありません (名前付きパイプ、デバイスやフォルダーです)。開かずにおきました。\n"
const char kNotRegularFile[] =
    "  %s \x82\xcd\x95\x81\x92\xca\x82\xcc\x83t\x83@\x83" "C\x83\x8b\x82\xc5\x82\xcd\x82\xa0\x82\xe8\x82\xdc\x82\xb9\x82\xf1 (\x96\xbc\x91O\x95t\x82\xab\x83p\x83" "C\x83v\x81" "A\x83" "f\x83o\x83" "C\x83X\x82\xe2\x83t\x83H\x83\x8b\x83_\x81[\x82\xc5\x82\xb7)\x81" "B\x8aJ\x82\xa9\x82\xb8\x82\xc9\x82\xa8\x82\xab\x82\xdc\x82\xb5\x82\xbd\x81" "B\n";
// "  %s はフォルダーの外を指すシンボリック リンクです。リンク先は読んでいません。\n"
const char kLinkOutside[] =
    "  %s \x82\xcd\x83t\x83H\x83\x8b\x83_\x81[\x82\xcc\x8aO\x82\xf0\x8ew\x82\xb7\x83V\x83\x93\x83{\x83\x8a\x83" "b\x83N \x83\x8a\x83\x93\x83N\x82\xc5\x82\xb7\x81" "B\x83\x8a\x83\x93\x83N\x90\xe6\x82\xcd\x93\xc7\x82\xf1\x82\xc5\x82\xa2\x82\xdc\x82\xb9\x82\xf1\x81" "B\n";
// "  CD や USB メモリーに書き出すと、このファイルはないか、別のファイルになります。\n"
const char kLinkLost[] =
    "  CD \x82\xe2 USB \x83\x81\x83\x82\x83\x8a\x81[\x82\xc9\x8f\x91\x82\xab\x8fo\x82\xb7\x82\xc6\x81" "A\x82\xb1\x82\xcc\x83t\x83@\x83" "C\x83\x8b\x82\xcd\x82\xc8\x82\xa2\x82\xa9\x81" "A\x95\xca\x82\xcc\x83t\x83@\x83" "C\x83\x8b\x82\xc9\x82\xc8\x82\xe8\x82\xdc\x82\xb7\x81" "B\n";
// "  %s は知られていない圧縮形式 (種類 %u) の圧縮ファイルです。\n"
const char kUnknownPacking[] =
    "  %s \x82\xcd\x92m\x82\xe7\x82\xea\x82\xc4\x82\xa2\x82\xc8\x82\xa2\x88\xb3\x8fk\x8c`\x8e\xae (\x8e\xed\x97\xde %u) \x82\xcc\x88\xb3\x8fk\x83t\x83@\x83" "C\x83\x8b\x82\xc5\x82\xb7\x81" "B\n";
// "  %s は複数のファイルに分かれた圧縮ファイルの一部で、これだけでは展開できません。\n"
const char kContinuedCabinet[] =
    "  %s \x82\xcd\x95\xa1\x90\x94\x82\xcc\x83t\x83@\x83" "C\x83\x8b\x82\xc9\x95\xaa\x82\xa9\x82\xea\x82\xbd\x88\xb3\x8fk\x83t\x83@\x83" "C\x83\x8b\x82\xcc\x88\xea\x95\x94\x82\xc5\x81" "A\x82\xb1\x82\xea\x82\xbe\x82\xaf\x82\xc5\x82\xcd\x93W\x8aJ\x82\xc5\x82\xab\x82\xdc\x82\xb9\x82\xf1\x81" "B\n";
// "  オプション「%s」の [SCSI.Load] の行が、このファイルを指しています。\n"
const char kOptionLine[] =
    "  \x83I\x83v\x83V\x83\x87\x83\x93\x81u%s\x81v\x82\xcc [SCSI.Load] \x82\xcc\x8ds\x82\xaa\x81" "A\x82\xb1\x82\xcc\x83t\x83@\x83" "C\x83\x8b\x82\xf0\x8ew\x82\xb5\x82\xc4\x82\xa2\x82\xdc\x82\xb7\x81" "B\n";
// "  [SCSI.Load] のこの行が、このファイルを指しています。\n"
const char kLoadLine[] =
    "  [SCSI.Load] \x82\xcc\x82\xb1\x82\xcc\x8ds\x82\xaa\x81" "A\x82\xb1\x82\xcc\x83t\x83@\x83" "C\x83\x8b\x82\xf0\x8ew\x82\xb5\x82\xc4\x82\xa2\x82\xdc\x82\xb7\x81" "B\n";
// "  この行が %s 用のドライバー ファイルを指すよう、%s 用のオプションを統合し直してください。\n"
const char kReintegrate[] =
    "  \x82\xb1\x82\xcc\x8ds\x82\xaa %s \x97p\x82\xcc\x83h\x83\x89\x83" "C\x83o\x81[ \x83t\x83@\x83" "C\x83\x8b\x82\xf0\x8ew\x82\xb7\x82\xe6\x82\xa4\x81" "A%s \x97p\x82\xcc\x83I\x83v\x83V\x83\x87\x83\x93\x82\xf0\x93\x9d\x8d\x87\x82\xb5\x92\xbc\x82\xb5\x82\xc4\x82\xad\x82\xbe\x82\xb3\x82\xa2\x81" "B\n";
// "  %s が使う %s がフォルダーにありません (Windows 2000 / XP にはないファイルかもしれません)。
//  \n"
const char kImportMissing[] =
    "  %s \x82\xaa\x8eg\x82\xa4 %s \x82\xaa\x83t\x83H\x83\x8b\x83_\x81[\x82\xc9\x82\xa0"
    "\x82\xe8\x82\xdc\x82\xb9\x82\xf1 (Windows 2000 / XP \x82\xc9\x82\xcd\x82\xc8\x82\xa2"
    "\x83t\x83@\x83" "C\x83\x8b\x82\xa9\x82\xe0\x82\xb5\x82\xea\x82\xdc\x82\xb9\x82\xf1)"
    "\x81" "B\n";
// "  dosnet.inf の [FloppyFiles.2] に d1,%s の行がありません。\n"
const char kNotInBootFiles[] =
    "  dosnet.inf \x82\xcc [FloppyFiles.2] \x82\xc9 d1,%s \x82\xcc\x8ds\x82\xaa\x82\xa0"
    "\x82\xe8\x82\xdc\x82\xb9\x82\xf1\x81" "B\n";
// "  winnt32.exe や USB メモリーからのセットアップでは、このファイルが起動用にコピーされず、「ファイル %
//  s が見つかりません」と表示して止まります。\n"
const char kCopyBootMissing[] =
    "  winnt32.exe \x82\xe2 USB \x83\x81\x83\x82\x83\x8a\x81[\x82\xa9\x82\xe7\x82\xcc\x83"
    "Z\x83" "b\x83g\x83" "A\x83" "b\x83v\x82\xc5\x82\xcd\x81" "A\x82\xb1\x82\xcc\x83t\x83"
    "@\x83" "C\x83\x8b\x82\xaa\x8bN\x93\xae\x97p\x82\xc9\x83R\x83s\x81[\x82\xb3\x82\xea"
    "\x82\xb8\x81" "A\x81u\x83t\x83@\x83" "C\x83\x8b %s \x82\xaa\x8c\xa9\x82\xc2\x82\xa9"
    "\x82\xe8\x82\xdc\x82\xb9\x82\xf1\x81v\x82\xc6\x95\x5c\x8e\xa6\x82\xb5\x82\xc4\x8e~"
    "\x82\xdc\x82\xe8\x82\xdc\x82\xb7\x81" "B\n";
// "  dosnet.inf の [Files] に d1,%s の行がありません。\n"
const char kNotInDosnetFiles[] =
    "  dosnet.inf \x82\xcc [Files] \x82\xc9 d1,%s \x82\xcc\x8ds\x82\xaa\x82\xa0\x82\xe8"
    "\x82\xdc\x82\xb9\x82\xf1\x81" "B\n";
// "  winnt32.exe や USB メモリーからのセットアップでは、このファイルがコピーされず、「ファイル %s が見
//  つかりません」と表示して止まります。\n"
const char kCopyMissing[] =
    "  winnt32.exe \x82\xe2 USB \x83\x81\x83\x82\x83\x8a\x81[\x82\xa9\x82\xe7\x82\xcc\x83"
    "Z\x83" "b\x83g\x83" "A\x83" "b\x83v\x82\xc5\x82\xcd\x81" "A\x82\xb1\x82\xcc\x83t\x83"
    "@\x83" "C\x83\x8b\x82\xaa\x83R\x83s\x81[\x82\xb3\x82\xea\x82\xb8\x81" "A\x81u\x83t"
    "\x83@\x83" "C\x83\x8b %s \x82\xaa\x8c\xa9\x82\xc2\x82\xa9\x82\xe8\x82\xdc\x82\xb9"
    "\x82\xf1\x81v\x82\xc6\x95\x5c\x8e\xa6\x82\xb5\x82\xc4\x8e~\x82\xdc\x82\xe8\x82\xdc"
    "\x82\xb7\x81" "B\n";
// "  行末が混ざっています。行末が CR LF のファイルに、LF だけの行末があります。\n"
const char kMixedLineEnds[] =
    "  \x8ds\x96\x96\x82\xaa\x8d\xac\x82\xb4\x82\xc1\x82\xc4\x82\xa2\x82\xdc\x82\xb7\x81"
    "B\x8ds\x96\x96\x82\xaa CR LF \x82\xcc\x83t\x83@\x83" "C\x83\x8b\x82\xc9\x81" "ALF "
    "\x82\xbe\x82\xaf\x82\xcc\x8ds\x96\x96\x82\xaa\x82\xa0\x82\xe8\x82\xdc\x82\xb7\x81"
    "B\n";
// "  セットアップがこのあたりの行を読み違え、「INF ファイル %s が壊れているか、ありません」と表示して止まることがあ
//  ります。\n"
const char kSetupMisreads[] =
    "  \x83Z\x83" "b\x83g\x83" "A\x83" "b\x83v\x82\xaa\x82\xb1\x82\xcc\x82\xa0\x82\xbd"
    "\x82\xe8\x82\xcc\x8ds\x82\xf0\x93\xc7\x82\xdd\x88\xe1\x82\xa6\x81" "A\x81uINF \x83t"
    "\x83@\x83" "C\x83\x8b %s \x82\xaa\x89\xf3\x82\xea\x82\xc4\x82\xa2\x82\xe9\x82\xa9"
    "\x81" "A\x82\xa0\x82\xe8\x82\xdc\x82\xb9\x82\xf1\x81v\x82\xc6\x95\x5c\x8e\xa6\x82"
    "\xb5\x82\xc4\x8e~\x82\xdc\x82\xe9\x82\xb1\x82\xc6\x82\xaa\x82\xa0\x82\xe8\x82\xdc"
    "\x82\xb7\x81" "B\n";
// "  ファイルの終わりを示す 0x1A のあとに、空でない行があります。\n"
const char kTextAfterEnd[] =
    "  \x83t\x83@\x83" "C\x83\x8b\x82\xcc\x8fI\x82\xed\x82\xe8\x82\xf0\x8e\xa6\x82\xb7 0x"
    "1A \x82\xcc\x82\xa0\x82\xc6\x82\xc9\x81" "A\x8b\xf3\x82\xc5\x82\xc8\x82\xa2\x8ds\x82"
    "\xaa\x82\xa0\x82\xe8\x82\xdc\x82\xb7\x81" "B\n";
// "  セットアップは最初の 0x1A で読むのをやめるので、この行から後は読まれません。\n"
const char kSetupStopsAtEnd[] =
    "  \x83Z\x83" "b\x83g\x83" "A\x83" "b\x83v\x82\xcd\x8d\xc5\x8f\x89\x82\xcc 0x1A \x82"
    "\xc5\x93\xc7\x82\xde\x82\xcc\x82\xf0\x82\xe2\x82\xdf\x82\xe9\x82\xcc\x82\xc5\x81" "A"
    "\x82\xb1\x82\xcc\x8ds\x82\xa9\x82\xe7\x8c\xe3\x82\xcd\x93\xc7\x82\xdc\x82\xea\x82"
    "\xdc\x82\xb9\x82\xf1\x81" "B\n";
// "  %s は壊れた圧縮ファイルで、展開できません。\n"
const char kDamagedCabinet[] =
    "  %s \x82\xcd\x89\xf3\x82\xea\x82\xbd\x88\xb3\x8fk\x83t\x83@\x83" "C\x83\x8b\x82\xc5"
    "\x81" "A\x93W\x8aJ\x82\xc5\x82\xab\x82\xdc\x82\xb9\x82\xf1\x81" "B\n";
// "  セットアップはこのファイルをコピーできず、「ファイル %s をコピーできません」と表示して止まります。\n"
const char kSetupCannotCopy[] =
    "  \x83Z\x83" "b\x83g\x83" "A\x83" "b\x83v\x82\xcd\x82\xb1\x82\xcc\x83t\x83@\x83" "C"
    "\x83\x8b\x82\xf0\x83R\x83s\x81[\x82\xc5\x82\xab\x82\xb8\x81" "A\x81u\x83t\x83@\x83"
    "C\x83\x8b %s \x82\xf0\x83R\x83s\x81[\x82\xc5\x82\xab\x82\xdc\x82\xb9\x82\xf1\x81v"
    "\x82\xc6\x95\x5c\x8e\xa6\x82\xb5\x82\xc4\x8e~\x82\xdc\x82\xe8\x82\xdc\x82\xb7\x81"
    "B\n";
// "  %s が大きすぎて調べられません (%u バイトまで)。\n"
const char kTooBig[] =
    "  %s \x82\xaa\x91\xe5\x82\xab\x82\xb7\x82\xac\x82\xc4\x92\xb2\x82\xd7\x82\xe7\x82"
    "\xea\x82\xdc\x82\xb9\x82\xf1 (%u \x83o\x83" "C\x83g\x82\xdc\x82\xc5)\x81" "B\n";
// "  変更されたサービスが多すぎて (%u 個まで)、残りは調べていません。\n"
const char kTooManyServices[] =
    "  \x95\xcf\x8dX\x82\xb3\x82\xea\x82\xbd\x83T\x81[\x83r\x83X\x82\xaa\x91\xbd\x82\xb7"
    "\x82\xac\x82\xc4 (%u \x8c\xc2\x82\xdc\x82\xc5)\x81" "A\x8e" "c\x82\xe8\x82\xcd\x92"
    "\xb2\x82\xd7\x82\xc4\x82\xa2\x82\xdc\x82\xb9\x82\xf1\x81" "B\n";
// "  txtsetup.sif.orig がない (または空の) ため、[SCSI.Load] の
//  すべての行を調べました。\n"
const char kNoBackup[] =
    "  txtsetup.sif.orig \x82\xaa\x82\xc8\x82\xa2 (\x82\xdc\x82\xbd\x82\xcd\x8b\xf3\x82"
    "\xcc) \x82\xbd\x82\xdf\x81" "A[SCSI.Load] \x82\xcc\x82\xb7\x82\xd7\x82\xc4\x82\xcc"
    "\x8ds\x82\xf0\x92\xb2\x82\xd7\x82\xdc\x82\xb5\x82\xbd\x81" "B\n";
// "  %s は調べていません (%s)。\n"
const char kNotChecked[] =
    "  %s \x82\xcd\x92\xb2\x82\xd7\x82\xc4\x82\xa2\x82\xdc\x82\xb9\x82\xf1 (%s)\x81" "B\n";
// "大きすぎます"
const char kTooBigReason[] = "\x91\xe5\x82\xab\x82\xb7\x82\xac\x82\xdc\x82\xb7";
// "読めません"
const char kUnreadableReason[] = "\x93\xc7\x82\xdf\x82\xdc\x82\xb9\x82\xf1";
// "LZX か Quantum で圧縮されています"
const char kOtherPackingReason[] =
    "LZX \x82\xa9 Quantum \x82\xc5\x88\xb3\x8fk\x82\xb3\x82\xea\x82\xc4\x82\xa2\x82\xdc"
    "\x82\xb7";
// "  セットアップの CPU の種類 (x86 / x64 / IA64) がわからないため、ドライバーがどの CPU 用か
//  は調べていません。\n"
const char kArchitectureUnknown[] =
    "  \x83Z\x83" "b\x83g\x83" "A\x83" "b\x83v\x82\xcc CPU \x82\xcc\x8e\xed\x97\xde (x86 "
    "/ x64 / IA64) \x82\xaa\x82\xed\x82\xa9\x82\xe7\x82\xc8\x82\xa2\x82\xbd\x82\xdf\x81"
    "A\x83h\x83\x89\x83" "C\x83o\x81[\x82\xaa\x82\xc7\x82\xcc CPU \x97p\x82\xa9\x82\xcd"
    "\x92\xb2\x82\xd7\x82\xc4\x82\xa2\x82\xdc\x82\xb9\x82\xf1\x81" "B\n";
// "  %s が使うファイルの一覧 (インポート) を最後まで読めなかったため、一部は調べていません。\n"
const char kImportsCut[] =
    "  %s \x82\xaa\x8eg\x82\xa4\x83t\x83@\x83" "C\x83\x8b\x82\xcc\x88\xea\x97\x97 (\x83"
    "C\x83\x93\x83|\x81[\x83g) \x82\xf0\x8d\xc5\x8c\xe3\x82\xdc\x82\xc5\x93\xc7\x82\xdf"
    "\x82\xc8\x82\xa9\x82\xc1\x82\xbd\x82\xbd\x82\xdf\x81" "A\x88\xea\x95\x94\x82\xcd\x92"
    "\xb2\x82\xd7\x82\xc4\x82\xa2\x82\xdc\x82\xb9\x82\xf1\x81" "B\n";
// "  GUI モードのセットアップで、サービス %s の機器 (%s) を組み込む INF ファイルがフォルダーにありません。\n"
const char kNoInf[] =
    "  GUI \x83\x82\x81[\x83h\x82\xcc\x83Z\x83" "b\x83g\x83" "A\x83" "b\x83v\x82\xc5\x81" "A"
    "\x83T\x81[\x83r\x83X %s \x82\xcc\x8b@\x8a\xed (%s) \x82\xf0\x91g\x82\xdd\x8d\x9e\x82"
    "\xde INF \x83t\x83@\x83" "C\x83\x8b\x82\xaa\x83t\x83H\x83\x8b\x83_\x81[\x82\xc9\x82"
    "\xa0\x82\xe8\x82\xdc\x82\xb9\x82\xf1\x81" "B\n";
// "  セットアップ後の最初の起動が STOP 0x7B で止まるか、「新しいハードウェアが見つかりました」となります。\n"
const char kNoInfEffect[] =
    "  \x83Z\x83" "b\x83g\x83" "A\x83" "b\x83v\x8c\xe3\x82\xcc\x8d\xc5\x8f\x89\x82\xcc"
    "\x8bN\x93\xae\x82\xaa STOP 0x7B \x82\xc5\x8e~\x82\xdc\x82\xe9\x82\xa9\x81" "A\x81u"
    "\x90V\x82\xb5\x82\xa2\x83n\x81[\x83h\x83" "E\x83" "F\x83" "A\x82\xaa\x8c\xa9\x82\xc2"
    "\x82\xa9\x82\xe8\x82\xdc\x82\xb5\x82\xbd\x81v\x82\xc6\x82\xc8\x82\xe8\x82\xdc\x82"
    "\xb7\x81" "B\n";
// "  ドライバー パッケージの INF ファイルとともに統合し直してください (oem2sif-integrate とページは、パッケージにあれば持ってきます)。INF ファイルのないパッケージなら、ドライバーはセットアップの後でインストールしてください。\n"
const char kNoInfRemedy[] =
    "  \x83h\x83\x89\x83" "C\x83o\x81[ \x83p\x83" "b\x83P\x81[\x83W\x82\xcc INF \x83t\x83"
    "@\x83" "C\x83\x8b\x82\xc6\x82\xc6\x82\xe0\x82\xc9\x93\x9d\x8d\x87\x82\xb5\x92\xbc"
    "\x82\xb5\x82\xc4\x82\xad\x82\xbe\x82\xb3\x82\xa2 (oem2sif-integrate \x82\xc6\x83y"
    "\x81[\x83W\x82\xcd\x81" "A\x83p\x83" "b\x83P\x81[\x83W\x82\xc9\x82\xa0\x82\xea\x82"
    "\xce\x8e\x9d\x82\xc1\x82\xc4\x82\xab\x82\xdc\x82\xb7)\x81" "BINF \x83t\x83@\x83" "C"
    "\x83\x8b\x82\xcc\x82\xc8\x82\xa2\x83p\x83" "b\x83P\x81[\x83W\x82\xc8\x82\xe7\x81" "A"
    "\x83h\x83\x89\x83" "C\x83o\x81[\x82\xcd\x83Z\x83" "b\x83g\x83" "A\x83" "b\x83v\x82"
    "\xcc\x8c\xe3\x82\xc5\x83" "C\x83\x93\x83X\x83g\x81[\x83\x8b\x82\xb5\x82\xc4\x82\xad"
    "\x82\xbe\x82\xb3\x82\xa2\x81" "B\n";
// "  [SourceDisksFiles] に inf フォルダーのファイルとして %s がありますが、フォルダーにありません (%s も %s もありません)。\n"
const char kInfMissing[] =
    "  [SourceDisksFiles] \x82\xc9 inf \x83t\x83H\x83\x8b\x83_\x81[\x82\xcc\x83t\x83@\x83" "C"
    "\x83\x8b\x82\xc6\x82\xb5\x82\xc4 %s \x82\xaa\x82\xa0\x82\xe8\x82\xdc\x82\xb7\x82\xaa"
    "\x81" "A\x83t\x83H\x83\x8b\x83_\x81[\x82\xc9\x82\xa0\x82\xe8\x82\xdc\x82\xb9\x82\xf1"
    " (%s \x82\xe0 %s \x82\xe0\x82\xa0\x82\xe8\x82\xdc\x82\xb9\x82\xf1)\x81" "B\n";
// "  このファイルを含むドライバー パッケージから、オプションを統合し直してください。\n"
const char kInfReintegrate[] =
    "  \x82\xb1\x82\xcc\x83t\x83@\x83" "C\x83\x8b\x82\xf0\x8a\xdc\x82\xde\x83h\x83\x89"
    "\x83" "C\x83o\x81[ \x83p\x83" "b\x83P\x81[\x83W\x82\xa9\x82\xe7\x81" "A\x83I\x83v"
    "\x83V\x83\x87\x83\x93\x82\xf0\x93\x9d\x8d\x87\x82\xb5\x92\xbc\x82\xb5\x82\xc4\x82"
    "\xad\x82\xbe\x82\xb3\x82\xa2\x81" "B\n";
// "  %s はサービス %s を追加しますが、どのモデルにも機器の ID %s がありません。\n"
const char kInfLacksIds[] =
    "  %s \x82\xcd\x83T\x81[\x83r\x83X %s \x82\xf0\x92\xc7\x89\xc1\x82\xb5\x82\xdc\x82"
    "\xb7\x82\xaa\x81" "A\x82\xc7\x82\xcc\x83\x82\x83" "f\x83\x8b\x82\xc9\x82\xe0\x8b@"
    "\x8a\xed\x82\xcc ID %s \x82\xaa\x82\xa0\x82\xe8\x82\xdc\x82\xb9\x82\xf1\x81" "B\n";
// "  GUI モードのセットアップはこの INF ファイルを機器に使わず、ドライバーが見つからないため、STOP 0x7B か「新しいハードウェアが見つかりました」となります。\n"
const char kInfNotTaken[] =
    "  GUI \x83\x82\x81[\x83h\x82\xcc\x83Z\x83" "b\x83g\x83" "A\x83" "b\x83v\x82\xcd\x82"
    "\xb1\x82\xcc INF \x83t\x83@\x83" "C\x83\x8b\x82\xf0\x8b@\x8a\xed\x82\xc9\x8eg\x82"
    "\xed\x82\xb8\x81" "A\x83h\x83\x89\x83" "C\x83o\x81[\x82\xaa\x8c\xa9\x82\xc2\x82\xa9"
    "\x82\xe7\x82\xc8\x82\xa2\x82\xbd\x82\xdf\x81" "ASTOP 0x7B \x82\xa9\x81u\x90V\x82\xb5"
    "\x82\xa2\x83n\x81[\x83h\x83" "E\x83" "F\x83" "A\x82\xaa\x8c\xa9\x82\xc2\x82\xa9\x82"
    "\xe8\x82\xdc\x82\xb5\x82\xbd\x81v\x82\xc6\x82\xc8\x82\xe8\x82\xdc\x82\xb7\x81" "B\n";
// "  この機器が載っている INF ファイルのオプションを統合してください (ドライバー パッケージには Windows のバージョンや CPU ごとに INF ファイルがあることがあります)。\n"
const char kInfOtherOption[] =
    "  \x82\xb1\x82\xcc\x8b@\x8a\xed\x82\xaa\x8d\xda\x82\xc1\x82\xc4\x82\xa2\x82\xe9 INF "
    "\x83t\x83@\x83" "C\x83\x8b\x82\xcc\x83I\x83v\x83V\x83\x87\x83\x93\x82\xf0\x93\x9d"
    "\x8d\x87\x82\xb5\x82\xc4\x82\xad\x82\xbe\x82\xb3\x82\xa2 (\x83h\x83\x89\x83" "C\x83o"
    "\x81[ \x83p\x83" "b\x83P\x81[\x83W\x82\xc9\x82\xcd Windows \x82\xcc\x83o\x81[\x83W"
    "\x83\x87\x83\x93\x82\xe2 CPU \x82\xb2\x82\xc6\x82\xc9 INF \x83t\x83@\x83" "C\x83\x8b"
    "\x82\xaa\x82\xa0\x82\xe9\x82\xb1\x82\xc6\x82\xaa\x82\xa0\x82\xe8\x82\xdc\x82\xb7)"
    "\x81" "B\n";
// "  %s がコピーする %s がフォルダーにありません。\n"
const char kInfFileMissing[] =
    "  %s \x82\xaa\x83R\x83s\x81[\x82\xb7\x82\xe9 %s \x82\xaa\x83t\x83H\x83\x8b\x83_\x81["
    "\x82\xc9\x82\xa0\x82\xe8\x82\xdc\x82\xb9\x82\xf1\x81" "B\n";
// "  GUI モードのセットアップはこのファイルを求めるか、この INF ファイルからドライバーをインストールできません。\n"
const char kInfCannotInstall[] =
    "  GUI \x83\x82\x81[\x83h\x82\xcc\x83Z\x83" "b\x83g\x83" "A\x83" "b\x83v\x82\xcd\x82"
    "\xb1\x82\xcc\x83t\x83@\x83" "C\x83\x8b\x82\xf0\x8b\x81\x82\xdf\x82\xe9\x82\xa9\x81" "A"
    "\x82\xb1\x82\xcc INF \x83t\x83@\x83" "C\x83\x8b\x82\xa9\x82\xe7\x83h\x83\x89\x83" "C"
    "\x83o\x81[\x82\xf0\x83" "C\x83\x93\x83X\x83g\x81[\x83\x8b\x82\xc5\x82\xab\x82\xdc"
    "\x82\xb9\x82\xf1\x81" "B\n";
// "  %s がコピーする %s は、フォルダーの中のファイルの名前ではありません (パスの区切り、ドライブの : や .. を含みます)。開かずにおきました。\n"
const char kUnsafeInfCopyName[] =
    "  %s \x82\xaa\x83R\x83s\x81[\x82\xb7\x82\xe9 %s \x82\xcd\x81" "A\x83t\x83H\x83\x8b"
    "\x83_\x81[\x82\xcc\x92\x86\x82\xcc\x83t\x83@\x83" "C\x83\x8b\x82\xcc\x96\xbc\x91O"
    "\x82\xc5\x82\xcd\x82\xa0\x82\xe8\x82\xdc\x82\xb9\x82\xf1 (\x83p\x83X\x82\xcc\x8b\xe6"
    "\x90\xd8\x82\xe8\x81" "A\x83h\x83\x89\x83" "C\x83u\x82\xcc : \x82\xe2 .. \x82\xf0"
    "\x8a\xdc\x82\xdd\x82\xdc\x82\xb7)\x81" "B\x8aJ\x82\xa9\x82\xb8\x82\xc9\x82\xa8\x82"
    "\xab\x82\xdc\x82\xb5\x82\xbd\x81" "B\n";
// "  [SourceDisksFiles] のファイル名 %s は、フォルダーの中のファイルの名前ではありません (パスの区切り、ドライブの : や .. を含みます)。開かずにおきました。\n"
const char kUnsafeInfRowName[] =
    "  [SourceDisksFiles] \x82\xcc\x83t\x83@\x83" "C\x83\x8b\x96\xbc %s \x82\xcd\x81" "A"
    "\x83t\x83H\x83\x8b\x83_\x81[\x82\xcc\x92\x86\x82\xcc\x83t\x83@\x83" "C\x83\x8b\x82"
    "\xcc\x96\xbc\x91O\x82\xc5\x82\xcd\x82\xa0\x82\xe8\x82\xdc\x82\xb9\x82\xf1 (\x83p\x83"
    "X\x82\xcc\x8b\xe6\x90\xd8\x82\xe8\x81" "A\x83h\x83\x89\x83" "C\x83u\x82\xcc : \x82"
    "\xe2 .. \x82\xf0\x8a\xdc\x82\xdd\x82\xdc\x82\xb7)\x81" "B\x8aJ\x82\xa9\x82\xb8\x82"
    "\xc9\x82\xa8\x82\xab\x82\xdc\x82\xb5\x82\xbd\x81" "B\n";
// "  [SourceDisksFiles] にある INF ファイルのうち %u 個は読んでいません (LZX で圧縮されているか、大きすぎるか、多すぎます)。読んだ INF ファイルのどれも合わないサービスは、GUI モードのセットアップでドライバーが見つかるかを調べていません。\n"
const char kInfsNotRead[] =
    "  [SourceDisksFiles] \x82\xc9\x82\xa0\x82\xe9 INF \x83t\x83@\x83" "C\x83\x8b\x82\xcc"
    "\x82\xa4\x82\xbf %u \x8c\xc2\x82\xcd\x93\xc7\x82\xf1\x82\xc5\x82\xa2\x82\xdc\x82\xb9"
    "\x82\xf1 (LZX \x82\xc5\x88\xb3\x8fk\x82\xb3\x82\xea\x82\xc4\x82\xa2\x82\xe9\x82\xa9"
    "\x81" "A\x91\xe5\x82\xab\x82\xb7\x82\xac\x82\xe9\x82\xa9\x81" "A\x91\xbd\x82\xb7\x82"
    "\xac\x82\xdc\x82\xb7)\x81" "B\x93\xc7\x82\xf1\x82\xbe INF \x83t\x83@\x83" "C\x83\x8b"
    "\x82\xcc\x82\xc7\x82\xea\x82\xe0\x8d\x87\x82\xed\x82\xc8\x82\xa2\x83T\x81[\x83r\x83X"
    "\x82\xcd\x81" "AGUI \x83\x82\x81[\x83h\x82\xcc\x83Z\x83" "b\x83g\x83" "A\x83" "b\x83"
    "v\x82\xc5\x83h\x83\x89\x83" "C\x83o\x81[\x82\xaa\x8c\xa9\x82\xc2\x82\xa9\x82\xe9\x82"
    "\xa9\x82\xf0\x92\xb2\x82\xd7\x82\xc4\x82\xa2\x82\xdc\x82\xb9\x82\xf1\x81" "B\n";

// "見つかった問題: %u 件\n"
const char kProblemCount[] =
    "\x8c\xa9\x82\xc2\x82\xa9\x82\xc1\x82\xbd\x96\xe2\x91\xe8: %u \x8c\x8f\n";
// "(ほかに %u 件あります。表示しきれませんでした。)\n"
const char kDropped[] =
    "(\x82\xd9\x82\xa9\x82\xc9 %u \x8c\x8f\x82\xa0\x82\xe8\x82\xdc\x82\xb7\x81" "B\x95"
    "\x5c\x8e\xa6\x82\xb5\x82\xab\x82\xea\x82\xdc\x82\xb9\x82\xf1\x82\xc5\x82\xb5\x82\xbd"
    "\x81" "B)\n";

// The words of one language, each a printf format or a piece of one.
struct Words {
  const char* error;
  const char* note;
  const char* separator;
  const char* lineOf;
  const char* serviceIs;
  const char* fileIs;
  const char* driverMissing;
  const char* setupNotFound;
  const char* noSourceDisksFiles;
  const char* setupCorrupt;
  const char* notInScsi;
  const char* setupNoName;
  const char* idWithoutLoad;
  const char* setupNoDisk;
  const char* driverEmpty;
  const char* setupCannotLoad;
  const char* notPeImage;
  const char* notNative;
  const char* wrongMachine;
  const char* machineToldBy;
  const char* fromSetupData;
  const char* fromFolderName;
  const char* fromSections;
  const char* driverCut;
  const char* setupFileLost;
  const char* restoreBackup;
  const char* unsafeLoadName;
  const char* unsafeImportName;
  const char* setupCannotFind;
  const char* notRegularFile;
  const char* linkOutside;
  const char* linkLost;
  const char* unknownPacking;
  const char* continuedCabinet;
  const char* optionLine;
  const char* loadLine;
  const char* reintegrate;
  const char* importMissing;
  const char* notInBootFiles;
  const char* copyBootMissing;
  const char* notInDosnetFiles;
  const char* copyMissing;
  const char* mixedLineEnds;
  const char* setupMisreads;
  const char* textAfterEnd;
  const char* setupStopsAtEnd;
  const char* damagedCabinet;
  const char* setupCannotCopy;
  const char* tooBig;
  const char* tooManyServices;
  const char* noBackup;
  const char* notChecked;
  const char* tooBigReason;
  const char* unreadableReason;
  const char* otherPackingReason;
  const char* architectureUnknown;
  const char* importsCut;
  const char* noInf;
  const char* noInfEffect;
  const char* noInfRemedy;
  const char* infMissing;
  const char* infReintegrate;
  const char* infLacksIds;
  const char* infNotTaken;
  const char* infOtherOption;
  const char* infFileMissing;
  const char* infCannotInstall;
  const char* unsafeInfCopyName;
  const char* unsafeInfRowName;
  const char* infsNotRead;
  const char* problemCount;
  const char* dropped;
};

// Japanese, code page 932: what oem2sif-check prints.
const Words kJapanese = {
    kError, kNote, kSeparator, kLineOf, kServiceIs, kFileIs, kDriverMissing, kSetupNotFound, kNoSourceDisksFiles,
    kSetupCorrupt, kNotInScsi, kSetupNoName, kIdWithoutLoad, kSetupNoDisk, kDriverEmpty, kSetupCannotLoad,
    kNotPeImage, kNotNative, kWrongMachine, kMachineToldBy, kFromSetupData, kFromFolderName, kFromSections,
    kDriverCut, kSetupFileLost, kRestoreBackup, kUnsafeLoadName, kUnsafeImportName, kSetupCannotFind,
    kNotRegularFile, kLinkOutside, kLinkLost, kUnknownPacking, kContinuedCabinet, kOptionLine, kLoadLine,
    kReintegrate, kImportMissing, kNotInBootFiles, kCopyBootMissing, kNotInDosnetFiles, kCopyMissing,
    kMixedLineEnds, kSetupMisreads, kTextAfterEnd, kSetupStopsAtEnd, kDamagedCabinet, kSetupCannotCopy, kTooBig,
    kTooManyServices, kNoBackup, kNotChecked, kTooBigReason, kUnreadableReason, kOtherPackingReason,
    kArchitectureUnknown, kImportsCut, kNoInf, kNoInfEffect, kNoInfRemedy, kInfMissing,
    kInfReintegrate, kInfLacksIds, kInfNotTaken, kInfOtherOption, kInfFileMissing,
    kInfCannotInstall, kUnsafeInfCopyName, kUnsafeInfRowName, kInfsNotRead, kProblemCount, kDropped};

// English, ASCII: the same blocks, worded for the page's English view.
const Words kEnglish = {
    "ERROR!",
    "Note:",
    ", ",
    "%s line %u",
    "service %s",
    "file %s",
    "  The driver file is not in the folder (neither %s nor %s is there).\n",
    "  Setup stops, saying that the file %s cannot be found.\n",
    "  [SourceDisksFiles] has no line for %s.\n",
    "  Setup cannot tell where the file is and stops, saying that the INF file txtsetup.sif is corrupt or"
    " missing.\n",
    "  [SCSI] has no line for the service %s.\n",
    "  Setup finds no name for this adapter and may not load its driver.\n",
    "  Hardware ids added or changed: %u (the first: %s); their service %s is not in [SCSI.Load].\n",
    "  Setup loads no driver for this device and may say that it finds no hard disk.\n",
    "  %s is an empty file (0 bytes).\n",
    "  Setup cannot load this driver and stops, saying that the file %s cannot be loaded.\n",
    "  %s is not a Windows driver (not a PE file).\n",
    "  %s is not a Windows driver (its subsystem is %u, not 1 as a driver's).\n",
    "  %s is a driver for %s: this %s setup source cannot use it.\n",
    "  The setup source is for %s, as %s says.\n",
    "the Architecture in txtsetup.sif's [SetupData]",
    "the folder's name",
    "txtsetup.sif's [SourceDisksFiles.*] / [SourceDisksNames.*] with the most lines",
    "  %s is cut short (its sections run past the end of the file).\n",
    "  txtsetup.sif lacks %u of the lines of txtsetup.sif.orig (the first: %s).\n",
    "  txtsetup.sif was emptied, cut short or overwritten by another file. Restore it from txtsetup.sif.orig.\n",
    "  The [SCSI.Load] file name %s is not the name of a file in the folder (a path separator, a drive's colon"
    " or ..). It was not opened.\n",
    "  %s needs %s, which is not the name of a file in the folder (a path separator, a drive's colon or ..). It"
    " was not opened.\n",
    "  Setup cannot find this file and stops.\n",
    "  %s is not a plain file (a named pipe, a device or a folder). It was not opened.\n",
    "  %s is a symbolic link leading outside the folder; it was not followed.\n",
    "  Written to a CD or a USB stick, this file is missing or another one.\n",
    "  %s is compressed in an unknown way (type %u).\n",
    "  %s is one part of a cabinet split over several files: alone it cannot be unpacked.\n",
    "  The [SCSI.Load] line of the option \"%s\" names this file.\n",
    "  This line of [SCSI.Load] names this file.\n",
    "  Integrate the option for %s again, so that the line names the driver file for %s.\n",
    "  %s needs %s, which is not in the folder (Windows 2000 and XP may have no such file).\n",
    "  dosnet.inf's [FloppyFiles.2] has no line d1,%s.\n",
    "  Setup started by winnt32.exe or from a USB stick does not copy this file to start from, and stops, saying"
    " that the file %s cannot be found.\n",
    "  dosnet.inf's [Files] has no line d1,%s.\n",
    "  Setup started by winnt32.exe or from a USB stick does not copy this file, and stops, saying that the file"
    " %s cannot be found.\n",
    "  Mixed line ends: a line ends in LF alone in a file of CR LF lines.\n",
    "  Setup may misread the lines here and stop, saying that the INF file %s is corrupt or missing.\n",
    "  A line that is not empty follows the end-of-file byte 0x1A.\n",
    "  Setup stops reading at the first 0x1A: this line and those after it are never read.\n",
    "  %s is a damaged compressed file: it cannot be unpacked.\n",
    "  Setup cannot copy this file and stops, saying that the file %s cannot be copied.\n",
    "  %s is too big to check (%u bytes at most).\n",
    "  Too many services changed (%u at most): the rest were not checked.\n",
    "  There is no txtsetup.sif.orig (or it is empty): every line of [SCSI.Load] was checked.\n",
    "  %s was not checked (%s).\n",
    "too big",
    "unreadable",
    "compressed with LZX or Quantum",
    "  What CPU the setup source is for (x86 / x64 / IA64) cannot be told: no driver's CPU was checked.\n",
    "  The list of files %s needs (its imports) was not read to its end: some were not checked.\n",
    "  GUI-mode setup finds no INF file in the folder to install the device of the service %s (%s) from.\n",
    "  The first start after setup stops with STOP 0x7B, or Windows says that it found new hardware.\n",
    "  Integrate the option again with its driver package's INF file (oem2sif-integrate and the page bring it"
    " where the package has one); with a package that has none, install its driver after setup.\n",
    "  %s is listed in [SourceDisksFiles] for the inf folder but is not in the folder (neither %s nor %s is"
    " there).\n",
    "  Integrate the option again from the driver package that holds this file.\n",
    "  %s adds the service %s, but none of its models lists the device's id %s.\n",
    "  GUI-mode setup does not take this INF file for the device and finds no driver: STOP 0x7B, or Windows"
    " says that it found new hardware.\n",
    "  Integrate the option whose INF file lists the device (a driver package may have one INF file for each"
    " Windows version or CPU).\n",
    "  %s copies %s, which is not in the folder.\n",
    "  GUI-mode setup asks for the file, or cannot install the driver from this INF file.\n",
    "  %s copies %s, which is not the name of a file in the folder (a path separator, a drive's colon or ..). It"
    " was not opened.\n",
    "  The [SourceDisksFiles] name %s is not the name of a file in the folder (a path separator, a drive's colon"
    " or ..). It was not opened.\n",
    "  %u INF files listed in [SourceDisksFiles] were not read (compressed with LZX, too big, or too many):"
    " where none of those read serves a service, whether GUI-mode setup finds its driver was not checked.\n",
    "Problems found: %u\n",
    "(%u more not shown.)\n",
};

// Appends printf-style text to buf; what does not fit is cut at a character
// boundary.
struct Text {
  char* buf;
  size_t capacity;
  size_t length;
};

bool IsLeadByte(unsigned char c) { return (c >= 0x81 && c <= 0x9f) || (c >= 0xe0 && c <= 0xfc); }

void Append(Text* text, const char* format, ...) __attribute__((format(printf, 2, 3)));
void Append(Text* text, const char* format, ...) {
  if (text->capacity == 0) return;
  size_t room = text->capacity - text->length;
  va_list args;
  va_start(args, format);
  int wrote = vsnprintf(text->buf + text->length, room, format, args);
  va_end(args);
  if (wrote < 0) return;
  if (static_cast<size_t>(wrote) < room) {
    text->length += static_cast<size_t>(wrote);
    return;
  }
  // Cut: drop a lead byte whose trail byte was cut off.
  size_t end = text->length;
  while (end < text->capacity - 1) {
    size_t width = IsLeadByte(static_cast<unsigned char>(text->buf[end])) ? 2 : 1;
    if (end + width > text->capacity - 1) break;
    end += width;
  }
  text->buf[end] = '\0';
  text->length = end;
}

const char* PlaceName(FindingPlace place) {
  return place == kInSetupFile ? "txtsetup.sif" : place == kInDosnet ? "dosnet.inf" : "";
}

void AppendWhere(Text* text, const Words& w, const Finding& f) {
  Append(text, "%s", IsProblem(f.kind) ? w.error : w.note);
  const char* separator = " ";
  if (f.place != kInNoFile) {
    if (f.line > 0) {
      Append(text, "%s", separator);
      Append(text, w.lineOf, PlaceName(f.place), f.line);
    } else {
      Append(text, "%s%s", separator, PlaceName(f.place));
    }
    separator = w.separator;
  }
  if (f.service[0] != '\0') {
    Append(text, "%s", separator);
    Append(text, w.serviceIs, f.service);
    separator = w.separator;
  }
  // A text file's own findings name it once.
  if (f.file[0] != '\0' && strcmp(f.file, PlaceName(f.place)) != 0) {
    Append(text, "%s", separator);
    Append(text, w.fileIs, f.file);
  }
  Append(text, "\n");
}

const char* Reason(const Words& w, const char* extra) {
  if (strcmp(extra, "too big") == 0) return w.tooBigReason;
  if (strcmp(extra, "unreadable") == 0) return w.unreadableReason;
  return w.otherPackingReason;
}

const char* EvidenceText(const Words& w, MachineEvidence evidence) {
  switch (evidence) {
    case kMachineFromSetupData:
      return w.fromSetupData;
    case kMachineFromFolderName:
      return w.fromFolderName;
    case kMachineFromSections:
      return w.fromSections;
    case kMachineNotKnown:
      break;
  }
  return nullptr;
}

size_t Format(const Words& w, const Finding& f, unsigned sourceMachine, MachineEvidence evidence, char* buf,
              size_t capacity) {
  Text text{buf, capacity, 0};
  if (capacity == 0) return 0;
  buf[0] = '\0';
  AppendWhere(&text, w, f);
  const char* source = MachineName(sourceMachine);
  switch (f.kind) {
    case kFindingDriverMissing:
      Append(&text, w.driverMissing, f.file, f.extra);
      Append(&text, w.setupNotFound, f.file);
      break;
    case kFindingNoSourceDisksFiles:
      Append(&text, w.noSourceDisksFiles, f.file);
      Append(&text, "%s", w.setupCorrupt);
      break;
    case kFindingNotInScsi:
      Append(&text, w.notInScsi, f.service);
      Append(&text, "%s", w.setupNoName);
      break;
    case kFindingIdWithoutLoad:
      Append(&text, w.idWithoutLoad, f.number, f.extra, f.service);
      Append(&text, "%s", w.setupNoDisk);
      break;
    case kFindingDriverEmpty:
      Append(&text, w.driverEmpty, f.file);
      Append(&text, w.setupCannotLoad, f.file);
      break;
    case kFindingNotDriver:
      Append(&text, w.notPeImage, f.file);
      Append(&text, w.setupCannotLoad, f.file);
      break;
    case kFindingNotNative:
      Append(&text, w.notNative, f.file, f.number);
      Append(&text, w.setupCannotLoad, f.file);
      break;
    case kFindingDriverCut:
      Append(&text, w.driverCut, f.file);
      Append(&text, w.setupCannotLoad, f.file);
      break;
    case kFindingSetupFileLost:
      Append(&text, w.setupFileLost, f.number, f.extra);
      Append(&text, "%s", w.restoreBackup);
      break;
    case kFindingUnsafeName:
      if (f.number == 2) {
        Append(&text, w.unsafeInfCopyName, f.file, f.extra);
        Append(&text, "%s", w.infCannotInstall);
        break;
      }
      if (f.number == 0) {
        Append(&text, w.unsafeLoadName, f.file);
      } else if (f.number == 3) {
        Append(&text, w.unsafeInfRowName, f.file);
      } else {
        Append(&text, w.unsafeImportName, f.file, f.extra);
      }
      Append(&text, "%s", w.setupCannotFind);
      break;
    case kFindingNoInf:
      Append(&text, w.noInf, f.service, f.extra);
      Append(&text, "%s", w.noInfEffect);
      Append(&text, "%s", w.noInfRemedy);
      break;
    case kFindingInfMissing:
      Append(&text, w.infMissing, f.file, f.file, f.extra);
      Append(&text, w.setupCannotCopy, f.file);
      Append(&text, "%s", w.infReintegrate);
      break;
    case kFindingInfLacksIds:
      Append(&text, w.infLacksIds, f.file, f.service, f.extra);
      Append(&text, "%s", w.infNotTaken);
      Append(&text, "%s", w.infOtherOption);
      break;
    case kFindingInfFileMissing:
      Append(&text, w.infFileMissing, f.file, f.extra);
      Append(&text, "%s", w.infCannotInstall);
      Append(&text, "%s", w.infReintegrate);
      break;
    case kFindingNotRegularFile:
      Append(&text, w.notRegularFile, f.file);
      Append(&text, w.setupCannotCopy, f.file);
      break;
    case kFindingLinkOutside:
      Append(&text, w.linkOutside, f.file);
      Append(&text, "%s", w.linkLost);
      break;
    case kFindingUnknownPacking:
      Append(&text, w.unknownPacking, f.file, f.number);
      Append(&text, w.setupCannotCopy, f.file);
      break;
    case kFindingContinuedCabinet:
      Append(&text, w.continuedCabinet, f.file);
      Append(&text, w.setupCannotCopy, f.file);
      break;
    case kFindingWrongMachine:
      Append(&text, w.wrongMachine, f.file, f.extra, source != nullptr ? source : "?");
      if (source != nullptr && EvidenceText(w, evidence) != nullptr) {
        Append(&text, w.machineToldBy, source, EvidenceText(w, evidence));
      }
      Append(&text, w.setupCannotLoad, f.file);
      // The remedy is the line: the right file may well be there already.
      if (f.option[0] != '\0') {
        Append(&text, w.optionLine, f.option);
      } else {
        Append(&text, "%s", w.loadLine);
      }
      if (source != nullptr) Append(&text, w.reintegrate, source, source);
      break;
    case kFindingImportMissing:
      Append(&text, w.importMissing, f.file, f.extra);
      Append(&text, w.setupCannotLoad, f.file);
      break;
    case kFindingNotInBootFiles:
      Append(&text, w.notInBootFiles, f.file);
      Append(&text, w.copyBootMissing, f.file);
      break;
    case kFindingNotInDosnetFiles:
      Append(&text, w.notInDosnetFiles, f.file);
      Append(&text, w.copyMissing, f.file);
      break;
    case kFindingMixedLineEnds:
      Append(&text, "%s", w.mixedLineEnds);
      Append(&text, w.setupMisreads, f.file);
      break;
    case kFindingTextAfterEnd:
      Append(&text, "%s", w.textAfterEnd);
      Append(&text, "%s", w.setupStopsAtEnd);
      break;
    case kFindingDamagedCabinet:
      Append(&text, w.damagedCabinet, f.file);
      Append(&text, w.setupCannotCopy, f.file);
      break;
    case kFindingTooBig:
      if (strcmp(f.extra, "services") == 0) {
        Append(&text, w.tooManyServices, f.number);
      } else {
        Append(&text, w.tooBig, f.file, f.number);
      }
      break;
    case kNoteNoBackup:
      Append(&text, "%s", w.noBackup);
      break;
    case kNoteNotChecked:
      Append(&text, w.notChecked, f.file, Reason(w, f.extra));
      break;
    case kNoteArchitectureUnknown:
      Append(&text, "%s", w.architectureUnknown);
      break;
    case kNoteImportsCut:
      Append(&text, w.importsCut, f.file);
      break;
    case kNoteInfsNotRead:
      Append(&text, w.infsNotRead, f.number);
      break;
  }
  return text.length;
}

const Words& WordsOf(Language language) { return language == Language::kEnglish ? kEnglish : kJapanese; }

}  // namespace

size_t FormatFinding(const Finding& finding, unsigned sourceMachine, char* buf, size_t capacity,
                     Language language) {
  return Format(WordsOf(language), finding, sourceMachine, kMachineNotKnown, buf, capacity);
}

size_t FormatFinding(const Finding& finding, const CheckResult& result, char* buf, size_t capacity,
                     Language language) {
  return Format(WordsOf(language), finding, result.machine, result.machineEvidence, buf, capacity);
}

size_t FormatFindingCount(const CheckResult& result, char* buf, size_t capacity, Language language) {
  const Words& w = WordsOf(language);
  Text text{buf, capacity, 0};
  if (capacity == 0) return 0;
  buf[0] = '\0';
  if (result.dropped > 0) Append(&text, w.dropped, result.dropped);
  Append(&text, w.problemCount, result.problems);
  return text.length;
}

}  // namespace o2s
