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
// "見つかった問題: %u 件\n"
const char kProblemCount[] =
    "\x8c\xa9\x82\xc2\x82\xa9\x82\xc1\x82\xbd\x96\xe2\x91\xe8: %u \x8c\x8f\n";
// "(ほかに %u 件あります。表示しきれませんでした。)\n"
const char kDropped[] =
    "(\x82\xd9\x82\xa9\x82\xc9 %u \x8c\x8f\x82\xa0\x82\xe8\x82\xdc\x82\xb7\x81" "B\x95"
    "\x5c\x8e\xa6\x82\xb5\x82\xab\x82\xea\x82\xdc\x82\xb9\x82\xf1\x82\xc5\x82\xb5\x82\xbd"
    "\x81" "B)\n";

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

void AppendWhere(Text* text, const Finding& f) {
  Append(text, "%s", IsProblem(f.kind) ? kError : kNote);
  const char* separator = " ";
  if (f.place != kInNoFile) {
    if (f.line > 0) {
      Append(text, "%s", separator);
      Append(text, kLineOf, PlaceName(f.place), f.line);
    } else {
      Append(text, "%s%s", separator, PlaceName(f.place));
    }
    separator = kSeparator;
  }
  if (f.service[0] != '\0') {
    Append(text, "%s", separator);
    Append(text, kServiceIs, f.service);
    separator = kSeparator;
  }
  // A text file's own findings name it once.
  if (f.file[0] != '\0' && strcmp(f.file, PlaceName(f.place)) != 0) {
    Append(text, "%s", separator);
    Append(text, kFileIs, f.file);
  }
  Append(text, "\n");
}

const char* Reason(const char* extra) {
  if (strcmp(extra, "too big") == 0) return kTooBigReason;
  if (strcmp(extra, "unreadable") == 0) return kUnreadableReason;
  return kOtherPackingReason;
}

const char* EvidenceText(MachineEvidence evidence) {
  switch (evidence) {
    case kMachineFromSetupData:
      return kFromSetupData;
    case kMachineFromFolderName:
      return kFromFolderName;
    case kMachineFromSections:
      return kFromSections;
    case kMachineNotKnown:
      break;
  }
  return nullptr;
}

size_t Format(const Finding& f, unsigned sourceMachine, MachineEvidence evidence, char* buf, size_t capacity) {
  Text text{buf, capacity, 0};
  if (capacity == 0) return 0;
  buf[0] = '\0';
  AppendWhere(&text, f);
  const char* source = MachineName(sourceMachine);
  switch (f.kind) {
    case kFindingDriverMissing:
      Append(&text, kDriverMissing, f.file, f.extra);
      Append(&text, kSetupNotFound, f.file);
      break;
    case kFindingNoSourceDisksFiles:
      Append(&text, kNoSourceDisksFiles, f.file);
      Append(&text, "%s", kSetupCorrupt);
      break;
    case kFindingNotInScsi:
      Append(&text, kNotInScsi, f.service);
      Append(&text, "%s", kSetupNoName);
      break;
    case kFindingIdWithoutLoad:
      Append(&text, kIdWithoutLoad, f.number, f.extra, f.service);
      Append(&text, "%s", kSetupNoDisk);
      break;
    case kFindingDriverEmpty:
      Append(&text, kDriverEmpty, f.file);
      Append(&text, kSetupCannotLoad, f.file);
      break;
    case kFindingNotDriver:
      if (f.number == 0) {
        Append(&text, kNotPeImage, f.file);
      } else {
        Append(&text, kNotNative, f.file, f.number);
      }
      Append(&text, kSetupCannotLoad, f.file);
      break;
    case kFindingWrongMachine:
      Append(&text, kWrongMachine, f.file, f.extra, source != nullptr ? source : "?");
      if (source != nullptr && EvidenceText(evidence) != nullptr) {
        Append(&text, kMachineToldBy, source, EvidenceText(evidence));
      }
      Append(&text, kSetupCannotLoad, f.file);
      break;
    case kFindingImportMissing:
      Append(&text, kImportMissing, f.file, f.extra);
      Append(&text, kSetupCannotLoad, f.file);
      break;
    case kFindingNotInBootFiles:
      Append(&text, kNotInBootFiles, f.file);
      Append(&text, kCopyBootMissing, f.file);
      break;
    case kFindingNotInDosnetFiles:
      Append(&text, kNotInDosnetFiles, f.file);
      Append(&text, kCopyMissing, f.file);
      break;
    case kFindingMixedLineEnds:
      Append(&text, "%s", kMixedLineEnds);
      Append(&text, kSetupMisreads, f.file);
      break;
    case kFindingTextAfterEnd:
      Append(&text, "%s", kTextAfterEnd);
      Append(&text, "%s", kSetupStopsAtEnd);
      break;
    case kFindingDamagedCabinet:
      Append(&text, kDamagedCabinet, f.file);
      Append(&text, kSetupCannotCopy, f.file);
      break;
    case kFindingTooBig:
      if (strcmp(f.extra, "services") == 0) {
        Append(&text, kTooManyServices, f.number);
      } else {
        Append(&text, kTooBig, f.file, f.number);
      }
      break;
    case kNoteNoBackup:
      Append(&text, "%s", kNoBackup);
      break;
    case kNoteNotChecked:
      Append(&text, kNotChecked, f.file, Reason(f.extra));
      break;
    case kNoteArchitectureUnknown:
      Append(&text, "%s", kArchitectureUnknown);
      break;
    case kNoteImportsCut:
      Append(&text, kImportsCut, f.file);
      break;
  }
  return text.length;
}

}  // namespace

size_t FormatFinding(const Finding& finding, unsigned sourceMachine, char* buf, size_t capacity) {
  return Format(finding, sourceMachine, kMachineNotKnown, buf, capacity);
}

size_t FormatFinding(const Finding& finding, const CheckResult& result, char* buf, size_t capacity) {
  return Format(finding, result.machine, result.machineEvidence, buf, capacity);
}

size_t FormatFindingCount(const CheckResult& result, char* buf, size_t capacity) {
  Text text{buf, capacity, 0};
  if (capacity == 0) return 0;
  buf[0] = '\0';
  if (result.dropped > 0) Append(&text, kDropped, result.dropped);
  Append(&text, kProblemCount, result.problems);
  return text.length;
}

}  // namespace o2s
