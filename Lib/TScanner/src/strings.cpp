// The run-time package's string table: the four texts activation and CheckActive raise. Kept in
// UTF-8 here; LoadStr gives them in the process's ANSI code page.
#include "internal.h"

namespace korven {

namespace {
const vcl::TStringTableRegistration StringTable("korvenrt", {
    {SScannerNotActive, "TWAINデバイスがアクティブでありません"},
    {SCannotLoadManager, "TWAINソースマネージャー ( TWAIN_32.DLL) をロードできません"},
    {SNoScannerInstalled, "TWAINデバイスがインストールされていません"},
    {SScannerDoesNotWork, "TWAINデバイスが動作しません"},
});
}  // namespace

}  // namespace korven
