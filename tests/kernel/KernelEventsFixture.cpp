#include "KernelEventsFixture.h"

#include "ReaderTableFixture.h"
#include "settings/ProductIdentity.h"
#include "settings/_RegistryWorks.h"

namespace tessaly::test {

std::string Utf8(const std::u16string& text) {
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    std::uint32_t code = text[i];
    if (code >= 0xD800 && code < 0xDC00 && i + 1 < text.size()) {
      code = 0x10000 + ((code - 0xD800) << 10) + (text[++i] - 0xDC00);
    }
    if (code < 0x80) {
      out += static_cast<char>(code);
    } else if (code < 0x800) {
      out += static_cast<char>(0xC0 | (code >> 6));
      out += static_cast<char>(0x80 | (code & 0x3F));
    } else if (code < 0x10000) {
      out += static_cast<char>(0xE0 | (code >> 12));
      out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (code & 0x3F));
    } else {
      out += static_cast<char>(0xF0 | (code >> 18));
      out += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
      out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (code & 0x3F));
    }
  }
  return out;
}

namespace {

std::string CardText(const TCardInfo& card) {
  for (std::size_t i = 0; i < ReaderTable.size(); ++i) {
    if (&ReaderTable[i].CardInfo == &card) return "entry " + std::to_string(i);
  }
  return "another card";
}

std::string Joined(const std::vector<std::string>& lines) {
  std::string text;
  for (const auto& line : lines) text += (text.empty() ? "" : "|") + line;
  return "[" + text + "]";
}

}  // namespace

KernelEventRecorder::KernelEventRecorder(TKernelObject& kernel) : kernel_(kernel) {
  kernel.OnLog = [this](std::int32_t number, std::uint8_t code, const std::u16string& source,
                        const std::u16string& name, const std::u16string& details,
                        std::chrono::system_clock::time_point time) {
    const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(time - kClockStart).count();
    Add("OnLog(" + std::to_string(number) + ", " + std::to_string(code) + ", " + Utf8(source) + ", " +
        Utf8(name) + ", " + Utf8(details) + ", +" + std::to_string(seconds) + "s)");
  };
  kernel.OnError = [this](TConnection& sender, const std::string& source, std::int32_t code,
                          const std::string& message) {
    Add("OnError(" + SenderText(sender) + ", " + source + ", " + std::to_string(code) + ", " + message + ")");
  };
  kernel.OnConnectionDown = [this] { Add("OnConnectionDown()"); };
  kernel.OnServiceConnected = [this] { Add("OnServiceConnected()"); };
  kernel.OnDevicesListChanged = [this](TConnection& sender, std::uint32_t value) {
    Add("OnDevicesListChanged(" + SenderText(sender) + ", " + std::to_string(value) + ")");
  };
  kernel.OnReaderStateChanged = [this](TConnection& sender, std::uint32_t value, std::uint32_t stateWord,
                                       const std::string& readerName, const std::vector<std::string>& lines,
                                       std::uint32_t extra) {
    Add("OnReaderStateChanged(" + SenderText(sender) + ", " + std::to_string(value) + ", " +
        std::to_string(stateWord) + ", " + readerName + ", " + Joined(lines) + ", " + std::to_string(extra) +
        ")");
  };
  kernel.OnCardStateChanged = [this](const std::string& readerName, std::uint8_t cardState) {
    Add("OnCardStateChanged(" + readerName + ", " + std::to_string(cardState) + ")");
  };
  RecordCardEvent(kernel.OnWaitingForCard, "OnWaitingForCard");
  RecordCardEvent(kernel.OnCardDetected, "OnCardDetected");
  RecordCardEvent(kernel.OnCardInvalid, "OnCardInvalid");
  RecordCardEvent(kernel.OnCardReady, "OnCardReady");
  kernel.OnDataSent = [this](const std::string& readerName, const std::string& sent,
                             const std::string& received) {
    Add("OnDataSent(" + readerName + ", " + sent + ", " + received + ")");
  };
  kernel.OnShowMessage = [this](const std::string& text) { Add("OnShowMessage(" + text + ")"); };
  kernel.OnHideMessage = [this] { Add("OnHideMessage()"); };
}

void KernelEventRecorder::RecordCardEvent(TKernelCardEvent& slot, const std::string& name) {
  slot = [this, name](const std::string& readerName, TCardInfo& card) {
    Add(name + "(" + readerName + ", " + CardText(card) + ")");
  };
}

std::string KernelEventRecorder::SenderText(const TConnection& sender) const {
  return &sender == kernel_.Connection.get() ? "connection" : "another sender";
}

Lines KernelEventRecorder::Records() const {
  Lines records;
  for (const auto& line : events_) {
    if (line.starts_with("OnLog(")) records.push_back(line);
  }
  return records;
}

KernelEventsTest::KernelEventsTest() {
  ZeroReaderTable();
  kernel_.SetLogClock([this] { return kClockStart + std::chrono::seconds{++clockReadings_}; });
}

KernelEventsTest::~KernelEventsTest() {
  ZeroReaderTable();
  SeparateHexBytes = false;
  SetComponentFolder("");
}

void KernelEventsTest::StoreLogMode(std::int32_t mode) {
  kernel_.Settings->SetEventLogMode(mode);
}

}  // namespace tessaly::test
