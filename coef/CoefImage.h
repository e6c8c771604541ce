#pragma once
// The digital transducer's coefficient memory: the 256-byte image read from
// Intel HEX lines, its byte-order fix-up, its listing and the comparison of
// two images.

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace tessary::coef {

inline constexpr std::size_t kImageBytes = 256;
inline constexpr std::size_t kImageRecords = 16;
using CoefImage = std::array<std::uint8_t, kImageBytes>;

struct CoefHexResult {
    CoefImage image{};
    // True once the end record was reached; false when reading stopped before
    // it (the image then holds whatever came and is not to be shown).
    bool ok = false;
    int dataRecords = 0;
    // For the message box, in order: one per bad checksum, then why reading
    // stopped when it did.
    std::vector<std::string> messages;
};

// Reads records of the box's fixed shape from `text`: ":" (not checked), byte
// count, 4 address characters, 2 type characters, 32 data characters,
// checksum, one line end (CR LF or LF). Records fill the image in the order
// they come; only a byte count "00" ends, the rest of that line is not read.
// Checksums are compared with hex digits of either case. `source` names the
// text in messages ("the coefficient file /a/b.hex").
CoefHexResult ReadCoefHex(std::string_view text, const std::string& source);
// The same from a file; a file that cannot be opened gives a message with the
// system's reason. `source` names it in messages (default: the file and path).
CoefHexResult ReadCoefHexFile(const std::string& path, const std::string& source = {});

// When byte 01 is 1 the 4-byte fields came most significant byte first: puts
// both runs (28 fields from 1C, 27 from 90) into the order MapCoefImage's
// readers expect. Apply exactly once to each image read.
void MapCoefImage(CoefImage& image);

// One decoded field: `label` + `value` is its listing line; `name` tells the
// field apart in a comparison. Fields with an empty label are not listed.
struct CoefItem {
    std::string label;
    std::string value;
    std::string name;
    bool listed = true;
};
std::vector<CoefItem> DecodeCoefImage(const CoefImage& mapped);
// The listing, one line per item, after MapCoefImage.
std::vector<std::string> ShowCoefImage(const CoefImage& mapped);

// "name: box X, file Y" for each decoded field that differs (either image
// mapped already); empty when the images are the same.
std::vector<std::string> CompareCoefImages(const CoefImage& box, const CoefImage& file);

}  // namespace tessary::coef
