#pragma once
// Shared routines of the library: assertions, file test, GUID forms, path and text helpers, resource messages.
#include "guid.h"
#include "varnock_global.h"
#include <QByteArray>
#include <QString>
#include <QStringList>
#include <cstdint>
#include <functional>

namespace Varnock {

// --- assertions
// The library-wide switch behind Synchronizer::ShowAFs (one per thread, False at start).
VARNOCK_EXPORT bool ShowAFsSwitch();
VARNOCK_EXPORT void SetShowAFsSwitch(bool on);
// True when a debugger is attached, else the switch.
VARNOCK_EXPORT bool InDebugMode();
constexpr int AssertCancel = 2;
constexpr int AssertRetry = 4;
// Who answers an assertion: given the title and the text, returns AssertRetry or AssertCancel. The default writes
// to standard error and answers Retry; an empty handler restores it.
using AssertHandler = std::function<int(const QString& title, const QString& text)>;
VARNOCK_EXPORT void SetAssertHandler(AssertHandler handler);
VARNOCK_EXPORT int AssertMessage(const QString& text);
// A failed condition in debug mode asks AssertMessage; Cancel stops the program with the text.
VARNOCK_EXPORT void DebugAssert(bool condition, const QString& message);

// --- files and modules
VARNOCK_EXPORT bool FileExistsByLength(const QString& path);
// A "module" is a file found by path (or, for a bare name, on the executable search path); 0 when none.
VARNOCK_EXPORT std::intptr_t LoadLibraryAW(const QString& path);
VARNOCK_EXPORT QString GetModulePath(std::intptr_t module);
VARNOCK_EXPORT void FreeModule(std::intptr_t module);
// The folder of this library's own file.
VARNOCK_EXPORT QString LibraryFolder();
VARNOCK_EXPORT std::int32_t GetPlatformId();
VARNOCK_EXPORT bool IsWinNT();

// --- GUIDs: text form is "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}", upper case.
VARNOCK_EXPORT bool IsGuidString(const QString& text);
VARNOCK_EXPORT Guid GuidFromString(const QString& text);
VARNOCK_EXPORT QString GuidToString(const Guid& guid);
VARNOCK_EXPORT bool GuidsEqual(const Guid& a, const Guid& b);
VARNOCK_EXPORT bool GuidStringsEqual(const QString& a, const QString& b);
VARNOCK_EXPORT Guid NewGuid();
VARNOCK_EXPORT Guid EmptyGuid();
VARNOCK_EXPORT QString EmptyGuidString();

// --- text and paths
// Only the outputs that the path has a part for are written (the extension only when there is a ".").
VARNOCK_EXPORT void SplitPath(const QString& path, QString& drive, QString& folder, QString& fileName,
                              QString& extension);
VARNOCK_EXPORT QString TrimAtNull(const QString& text, bool widen = false);
VARNOCK_EXPORT QString NextToken(QString& text, const QString& delimiter, const QString& quote);
VARNOCK_EXPORT QString WidenText(const QString& text);
// The library's message of an identifier with "|1", "|2", ... filled from the inserts.
VARNOCK_EXPORT QString FormatResString(std::int32_t id, const QStringList& inserts);
// The 8-bit code (Windows-1252) of a character, "?" for one that has none.
VARNOCK_EXPORT std::uint8_t AnsiCode(QChar c);
VARNOCK_EXPORT QByteArray ToAnsi(const QString& text);
// Fills element i (index lowerBound + position in the array) with the 8-bit code of character i of st (the
// first character is 1); an index past the end of st, or below 1, gives 0.
VARNOCK_EXPORT void StToRgbyt(const QString& st, QByteArray& rgbyt, int lowerBound = 0);

// The program-files folder from the registry store, "C:\Program Files" when absent or not read.
VARNOCK_EXPORT QString GetProgramFilesDir(bool read);

} // namespace Varnock
