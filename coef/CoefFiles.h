#pragma once
// Coefficient files on disk: reading and writing them line by line, and the
// check a file's lines get before they are written into a box.

#include <string>
#include <vector>

namespace tessary::coef {

// A coefficient file is small: larger files are refused unread.
inline constexpr std::size_t kMaxCoefFileBytes = 4u << 20;
// More lines than this in one block is not a coefficient block.
inline constexpr std::size_t kMaxBlockLines = 2000;
// A Kestin block line longer than this is not one the box wrote.
inline constexpr std::size_t kMaxKestinLine = 120;

// The file's lines, each without its "\r\n" or "\n". Empty on success, else
// "path: reason".
std::string ReadLinesFile(const std::string& path, std::vector<std::string>& lines);
// Each line + "\r\n", written whole. `mustBeNew`: fails when the file exists.
// Empty on success, else "path: reason".
std::string WriteLinesFile(const std::string& path, const std::vector<std::string>& lines, bool mustBeNew);

// Why `lines` would not make a block the box takes, one text a problem
// ("Line 3: ..."), the first few only; empty when they would. `hex`: Intel HEX
// records of the 256-byte image ending in the end record; otherwise the
// Kestin line form (printable lines of at most kMaxKestinLine characters,
// none of them "}", which would end the block early).
std::vector<std::string> CheckCoefLines(const std::vector<std::string>& lines, bool hex);
inline constexpr std::size_t kCheckProblemsShown = 5;

}  // namespace tessary::coef
