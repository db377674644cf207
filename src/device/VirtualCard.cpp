#include "device/VirtualCard.h"

#include <algorithm>
#include <array>
#include <string>

#include "pcsc/PcscCodes.h"

namespace tessaly {
namespace {

constexpr std::uint16_t kOk = 0x9000;
constexpr std::uint16_t kEndReached = 0x6282;
constexpr std::uint16_t kWrongPin = 0x63C0;  // low nibble: tries left
constexpr std::uint16_t kWrongLength = 0x6700;
constexpr std::uint16_t kIncompatibleStructure = 0x6981;
constexpr std::uint16_t kSecurityNotSatisfied = 0x6982;
constexpr std::uint16_t kPinBlocked = 0x6983;
constexpr std::uint16_t kConditionsNotSatisfied = 0x6985;
constexpr std::uint16_t kNoCurrentEf = 0x6986;
constexpr std::uint16_t kFunctionNotSupported = 0x6A81;
constexpr std::uint16_t kFileNotFound = 0x6A82;
constexpr std::uint16_t kRecordNotFound = 0x6A83;
constexpr std::uint16_t kNoSpaceInFile = 0x6A84;
constexpr std::uint16_t kWrongP1P2 = 0x6A86;
constexpr std::uint16_t kReferenceNotFound = 0x6A88;
constexpr std::uint16_t kOffsetOutside = 0x6B00;
constexpr std::uint8_t kWrongLe = 0x6C;
constexpr std::uint8_t kBytesAvailable = 0x61;
constexpr std::uint16_t kUnknownInstruction = 0x6D00;
constexpr std::uint16_t kUnknownClass = 0x6E00;

constexpr std::uint8_t kSelect = 0xA4;
constexpr std::uint8_t kReadBinary = 0xB0;
constexpr std::uint8_t kUpdateBinary = 0xD6;
constexpr std::uint8_t kReadRecord = 0xB2;
constexpr std::uint8_t kGetResponse = 0xC0;
constexpr std::uint8_t kGetChallenge = 0x84;
constexpr std::uint8_t kVerify = 0x20;

constexpr std::uint8_t kPinReference = 0x81;
constexpr int kPinTries = 3;
constexpr std::string_view kPin = "1234";
constexpr std::size_t kMaxChallenge = 256;

std::vector<std::uint8_t> StatusOnly(std::uint16_t status) {
  return {static_cast<std::uint8_t>(status >> 8), static_cast<std::uint8_t>(status)};
}

std::vector<std::uint8_t> WithStatus(std::vector<std::uint8_t> data, std::uint16_t status) {
  data.push_back(static_cast<std::uint8_t>(status >> 8));
  data.push_back(static_cast<std::uint8_t>(status));
  return data;
}

// The second status byte of 61xx and 6Cxx: a count, where 00 stands for 256 or more.
std::uint16_t CountStatus(std::uint8_t sw1, std::size_t count) {
  return static_cast<std::uint16_t>((sw1 << 8) | (count > 255 ? 0 : count));
}

// T0 9E: TA1 and TD1 follow, 14 historical bytes. TD1 80: T=0, TD2 follows. TD2 31: T=1 with TA3 (IFSC 254)
// and TB3 (BWI 4, CWI 5). Historical bytes: category 80, card service data 31 80 (selection by full DF name),
// card issuer's data 5A "Tessaly VC". The check byte TCK is appended.
constexpr std::array<std::uint8_t, 21> kAtrWithoutCheck{0x3B, 0x9E, 0x11, 0x80, 0x31, 0xFE, 0x45,
                                                        0x80, 0x31, 0x80, 0x5A, 'T',  'e',  's',
                                                        's',  'a',  'l',  'y',  ' ',  'V',  'C'};

std::vector<std::uint8_t> MakeAtr() {
  std::vector<std::uint8_t> atr(kAtrWithoutCheck.begin(), kAtrWithoutCheck.end());
  std::uint8_t check = 0;
  for (std::size_t i = 1; i < atr.size(); ++i) check ^= atr[i];
  atr.push_back(check);
  return atr;
}

}  // namespace

VirtualCard::VirtualCard()
    : protocol_(kProtocolMaskT1), retriesLeft_(kPinTries), random_(std::random_device{}()) {}

const std::vector<std::uint8_t>& VirtualCard::Atr() const {
  static const std::vector<std::uint8_t> atr = MakeAtr();
  return atr;
}

void VirtualCard::Reset() {
  files_.SelectMaster();
  pinVerified_ = false;
  pending_.reset();
}

void VirtualCard::SetProtocol(std::uint32_t protocol) {
  if (protocol != kProtocolMaskT0 && protocol != kProtocolMaskT1) {
    throw EVirtualCardError("the virtual card speaks T=0 (1) or T=1 (2), not protocol " +
                            std::to_string(protocol));
  }
  protocol_ = protocol;
  pending_.reset();
}

std::vector<std::uint8_t> VirtualCard::Transmit(std::span<const std::uint8_t> bytes) {
  const auto command = ParseCardCommand(bytes);
  if (command && command->Class == 0 && command->Instruction == kGetResponse) return GetResponse(*command);
  pending_.reset();
  if (!command) return StatusOnly(kWrongLength);
  Answer answer = Execute(*command);
  return protocol_ == kProtocolMaskT0 ? ShapeForT0(*command, std::move(answer))
                                      : ShapeForT1(*command, std::move(answer));
}

VirtualCard::Answer VirtualCard::Execute(const CardCommand& command) {
  if (command.Class != 0) return {{}, kUnknownClass};
  switch (command.Instruction) {
    case kSelect:
      return Select(command);
    case kReadBinary:
      return ReadBinary(command);
    case kUpdateBinary:
      return UpdateBinary(command);
    case kReadRecord:
      return ReadRecord(command);
    case kGetChallenge:
      return GetChallenge(command);
    case kVerify:
      return Verify(command);
    default:
      return {{}, kUnknownInstruction};
  }
}

VirtualCard::Answer VirtualCard::Select(const CardCommand& command) {
  if (command.P2 != 0x00 && command.P2 != 0x04 && command.P2 != 0x0C) return {{}, kWrongP1P2};
  const auto& data = command.Data;
  const bool isId = data.size() == 2;
  const bool isPath = !data.empty() && data.size() % 2 == 0;
  const auto id = isId ? static_cast<std::uint16_t>((data[0] << 8) | data[1]) : std::uint16_t{0};
  std::optional<std::size_t> file;
  switch (command.P1) {
    case 0x00:
      if (!data.empty() && !isId) return {{}, kWrongLength};
      file = data.empty() ? std::optional<std::size_t>{0} : files_.FindNear(id);
      break;
    case 0x01:
    case 0x02:
      if (!isId) return {{}, kWrongLength};
      file = files_.FindChild(id, command.P1 == 0x01 ? CardFileKind::Dedicated : CardFileKind::Transparent);
      break;
    case 0x03:
      if (!data.empty()) return {{}, kWrongLength};
      file = files_.FindParent();
      break;
    case 0x04:
      if (data.empty() || data.size() > 16) return {{}, kWrongLength};
      file = files_.FindByName(data);
      break;
    case 0x08:
    case 0x09:
      if (!isPath) return {{}, kWrongLength};
      file = files_.FindByPath(command.P1 == 0x08 ? 0 : files_.CurrentDedicatedFile(), data);
      break;
    default:
      return {{}, kWrongP1P2};
  }
  if (!file) return {{}, kFileNotFound};
  files_.Select(*file);
  if (command.P2 == 0x0C) return {{}, kOk};
  auto parameters = files_.ControlParameters(*file);
  if (command.P2 == 0x00) parameters[0] = 0x6F;  // FCI template around the same parameters
  return {std::move(parameters), kOk};
}

VirtualCard::Answer VirtualCard::ReadBinary(const CardCommand& command) {
  if (command.P1 & 0x80) return {{}, kFunctionNotSupported};  // short EF identifiers
  if (!command.HasLe || !command.Data.empty()) return {{}, kWrongLength};
  const CardFile* file = files_.CurrentElementaryFile();
  if (!file) return {{}, kNoCurrentEf};
  if (file->Kind != CardFileKind::Transparent) return {{}, kIncompatibleStructure};
  const std::size_t offset = (std::size_t{command.P1} << 8) | command.P2;
  if (offset >= file->Content.size()) return {{}, kOffsetOutside};
  return {{file->Content.begin() + static_cast<std::ptrdiff_t>(offset), file->Content.end()}, kOk};
}

VirtualCard::Answer VirtualCard::UpdateBinary(const CardCommand& command) {
  if (command.P1 & 0x80) return {{}, kFunctionNotSupported};
  if (command.HasLe || command.Data.empty()) return {{}, kWrongLength};
  CardFile* file = files_.CurrentElementaryFile();
  if (!file) return {{}, kNoCurrentEf};
  if (file->Kind != CardFileKind::Transparent) return {{}, kIncompatibleStructure};
  if (file->UpdateNeedsPin && !pinVerified_) return {{}, kSecurityNotSatisfied};
  const std::size_t offset = (std::size_t{command.P1} << 8) | command.P2;
  if (offset >= file->Content.size()) return {{}, kOffsetOutside};
  if (command.Data.size() > file->Content.size() - offset) return {{}, kNoSpaceInFile};
  std::ranges::copy(command.Data, file->Content.begin() + static_cast<std::ptrdiff_t>(offset));
  return {{}, kOk};
}

VirtualCard::Answer VirtualCard::ReadRecord(const CardCommand& command) {
  if (command.P2 != 0x04) return {{}, kWrongP1P2};  // only "record number P1 of the current EF"
  if (!command.HasLe || !command.Data.empty()) return {{}, kWrongLength};
  const CardFile* file = files_.CurrentElementaryFile();
  if (!file) return {{}, kNoCurrentEf};
  if (file->Kind != CardFileKind::Records) return {{}, kIncompatibleStructure};
  if (command.P1 == 0 || command.P1 > file->Records.size()) return {{}, kRecordNotFound};
  return {file->Records[command.P1 - 1], kOk};
}

VirtualCard::Answer VirtualCard::GetChallenge(const CardCommand& command) {
  if (command.P1 != 0 || command.P2 != 0) return {{}, kWrongP1P2};
  if (!command.HasLe || !command.Data.empty()) return {{}, kWrongLength};
  std::uniform_int_distribution<int> byte(0, 255);
  std::vector<std::uint8_t> challenge(std::min(command.ExpectedLength, kMaxChallenge));
  for (auto& value : challenge) value = static_cast<std::uint8_t>(byte(random_));
  return {std::move(challenge), kOk};
}

VirtualCard::Answer VirtualCard::Verify(const CardCommand& command) {
  if (command.P1 != 0) return {{}, kWrongP1P2};
  if (command.P2 != kPinReference) return {{}, kReferenceNotFound};
  if (command.HasLe) return {{}, kWrongLength};
  const auto triesStatus = [this] { return static_cast<std::uint16_t>(kWrongPin | retriesLeft_); };
  if (retriesLeft_ == 0) return {{}, kPinBlocked};
  if (command.Data.empty()) return {{}, pinVerified_ ? kOk : triesStatus()};  // asks for the tries left
  if (std::ranges::equal(command.Data, kPin)) {
    retriesLeft_ = kPinTries;
    pinVerified_ = true;
    return {{}, kOk};
  }
  pinVerified_ = false;
  --retriesLeft_;
  return {{}, triesStatus()};
}

std::vector<std::uint8_t> VirtualCard::GetResponse(const CardCommand& command) {
  if (!pending_) return StatusOnly(kConditionsNotSatisfied);
  if (command.P1 != 0 || command.P2 != 0) {
    pending_.reset();
    return StatusOnly(kWrongP1P2);
  }
  if (!command.HasLe || !command.Data.empty()) {
    pending_.reset();
    return StatusOnly(kWrongLength);
  }
  auto& data = *pending_;
  if (data.size() < command.ExpectedLength) return StatusOnly(CountStatus(kWrongLe, data.size()));
  std::vector<std::uint8_t> part(data.begin(),
                                 data.begin() + static_cast<std::ptrdiff_t>(command.ExpectedLength));
  data.erase(data.begin(), data.begin() + static_cast<std::ptrdiff_t>(command.ExpectedLength));
  const std::uint16_t status = data.empty() ? kOk : CountStatus(kBytesAvailable, data.size());
  if (data.empty()) pending_.reset();
  return WithStatus(std::move(part), status);
}

// A T=0 card cannot send data in answer to a command that carried data: it announces the data with 61xx
// and hands it out through GET RESPONSE. A wrong Le is answered with 6Cxx and the right one.
std::vector<std::uint8_t> VirtualCard::ShapeForT0(const CardCommand& command, Answer answer) {
  if (answer.Status != kOk || answer.Data.empty()) return StatusOnly(answer.Status);
  const std::size_t available = answer.Data.size();
  if (!command.Data.empty() || !command.HasLe) {
    pending_ = std::move(answer.Data);
    return StatusOnly(CountStatus(kBytesAvailable, available));
  }
  if (available < command.ExpectedLength && available < 256)
    return StatusOnly(CountStatus(kWrongLe, available));
  answer.Data.resize(std::min(available, command.ExpectedLength));
  return WithStatus(std::move(answer.Data), kOk);
}

// T=1 carries the data directly: as much as Le asks for, with 6282 when the file ended before that.
std::vector<std::uint8_t> VirtualCard::ShapeForT1(const CardCommand& command, Answer answer) {
  if (answer.Status != kOk || !command.HasLe) return StatusOnly(answer.Status);
  const bool shortOfLe = answer.Data.size() < command.ExpectedLength && !command.LeIsMaximum;
  answer.Data.resize(std::min(answer.Data.size(), command.ExpectedLength));
  return WithStatus(std::move(answer.Data), shortOfLe ? kEndReached : kOk);
}

}  // namespace tessaly
