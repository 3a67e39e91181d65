// The six template texts and their file Teikei.dat, shared by the browser (which only reads it)
// and the template editor Quillet (which reads and writes it and then leaves the change marker
// new.tmp for the running browser).
//
// The file is six records in index order, each "title LF length LF body LF", the length being
// the body's byte count in decimal digits; no header, no CR. Inside the file and the browser a
// line break is one LF; the editor's body field shows it as CR LF.
#pragma once

#include <array>
#include <cstddef>
#include <string>
#include <string_view>

namespace text {

struct TeikeiEntry {
  std::string title;  // Shift-JIS, no line break; the caption of the entry's button
  std::string body;   // Shift-JIS, with the date and time placeholders
  bool operator==(const TeikeiEntry&) const = default;
};

inline constexpr int kTeikeiCount = 6;
using TeikeiEntries = std::array<TeikeiEntry, kTeikeiCount>;

inline constexpr char kTeikeiFile[] = "Teikei.dat";
// Written by the editor after every completed save; its existence alone counts.
inline constexpr char kTeikeiMarker[] = "new.tmp";
// How much of the file the browser reads.
inline constexpr std::size_t kTeikeiReadLimit = 7168;

// The key an entry is bound to, as the editor and the buttons' hints name it: "F1" to "F4",
// "F11", "F12" for indexes 0 to 5; empty outside them.
std::string TeikeiKeyName(int index);

// The built-in texts when the file cannot be read. Entry 0 differs: the editor's body ends in
// "です。".
TeikeiEntries BrowserDefaultTeikei();
TeikeiEntries EditorDefaultTeikei();

struct TeikeiLoad {
  TeikeiEntries entries;
  // The file was there but broken: a length line that is not a decimal number, or fewer than
  // six records. The records read whole are kept; the others have their defaults.
  bool damaged = false;
};

// Reads the records from the file's bytes, by the browser's rules: a title ends at the first LF,
// the length line at the next; the body is that many bytes (what is left when fewer are); then
// everything up to and including the next LF is passed over. Bytes after the sixth record are
// never looked at. Entries not read whole keep the given defaults.
TeikeiLoad ParseTeikei(std::string_view bytes, const TeikeiEntries& defaults);

// The six records as the file holds them: "%s\n%d\n%s\n" each (bodies with LF line breaks).
std::string FormatTeikei(const TeikeiEntries& entries);

// The browser's load of Teikei.dat in the working folder: at most its first 7168 bytes, up to
// a NUL byte among them. A file that cannot be read gives the browser's defaults, not damaged.
TeikeiLoad LoadTeikeiForBrowser();

// The editor's load: the whole file, the bodies turned into CR LF form for the body field. A
// file that cannot be read gives the editor's defaults, not damaged.
TeikeiLoad LoadTeikeiForEditor();

// The editor's save: bodies from CR LF form back to LF, Teikei.dat replaced whole and
// atomically with exactly the six records, and then the marker, written only once the file is
// complete (a failure to write the marker is not reported). false when Teikei.dat could not be
// written: the old file is left as it was and no marker is made.
bool SaveTeikeiFromEditor(const TeikeiEntries& entries);

// Line breaks between the file's form (LF) and the editor's body field (CR LF).
std::string TeikeiBodyToCrLf(std::string_view body);
std::string TeikeiBodyFromCrLf(std::string_view body);

// The notice both programs give for a damaged file (Shift-JIS).
std::string TeikeiDamagedMessage();

}  // namespace text
