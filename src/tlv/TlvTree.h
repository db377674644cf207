#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace tessaly {

// The class a tag's first byte gives (bits 8 and 7).
enum class TagClass { Universal, Application, ContextSpecific, Private };

// One BER-TLV data object. Offsets count from the first decoded byte.
struct TlvNode {
  std::size_t Offset = 0;  // of the first tag byte
  std::uint32_t Tag = 0;   // the tag's bytes as one number: 0x84, 0x9F38, 0x5F2D
  std::size_t TagSize = 1;
  TagClass Class = TagClass::Universal;
  bool Constructed = false;
  std::size_t Length = 0;  // as the length field says
  std::size_t ValueOffset = 0;
  std::size_t ValueSize = 0;  // the value bytes present: less than Length only when they run past the end
  std::string_view Name;      // from the tag table, or the class and form of a tag it does not know
  bool Known = false;         // the tag table names the tag
  std::string Explanation;    // the value in words, for the tags the table marks so; empty otherwise
  std::vector<TlvNode> Children;
};

// What breaks the rules first, and where.
struct TlvProblem {
  std::size_t Offset = 0;
  std::string Text;  // names the offset too: "length 0x07 of tag 84 at offset 2 runs 3 bytes past the end"
};

// Bytes decoded as a list of BER-TLV data objects, as far as they go.
struct TlvTree {
  std::vector<std::uint8_t> Bytes;
  std::vector<TlvNode> Objects;
  std::optional<TlvProblem> Problem;

  // Every byte belongs to a data object or is padding between them, and there is at least one object.
  bool WellFormed() const { return !Problem.has_value(); }
  std::span<const std::uint8_t> ValueOf(const TlvNode& node) const {
    return std::span(Bytes).subspan(node.ValueOffset, node.ValueSize);
  }
};

// Decodes BER-TLV as ISO/IEC 7816-4 uses it: tags of one to three bytes, lengths of up to four bytes in long
// form, constructed objects decoded into their children, 00 and FF bytes before, between and after objects
// skipped as padding. Never reads past the end and never throws for any input: it stops at the first
// problem and keeps what it decoded before it.
TlvTree DecodeTlv(std::span<const std::uint8_t> bytes);

// The tag as its bytes are written: "84", "9F38".
std::string TagText(const TlvNode& node);

// The value of a primitive object as text when every byte of it is printable ASCII (0x20 to 0x7E) and the
// value has no explanation in words.
std::optional<std::string> PrintableValue(const TlvTree& tree, const TlvNode& node);

// The tree as indented text, one line per data object (two blanks a level), then a line with the problem
// if there is one:
//   6F File control information (FCI) template, 17 bytes
//     84 DF name, 7 bytes: A0 00 00 00 03 10 10
//     A5 FCI proprietary template, 6 bytes
//       50 Application label, 4 bytes: 56 49 53 41 "VISA"
//   84 Dedicated file (DF) name, 7 bytes (4 present): A0 00 00 00
//   Problem: length 0x07 of tag 84 at offset 19 runs 3 bytes past the end
std::vector<std::string> TlvTreeLines(const TlvTree& tree);

}  // namespace tessaly
