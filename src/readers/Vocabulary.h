#pragma once

#include <cstdint>
#include <string>

namespace tessaly {

struct TServiceInfo {
  std::string ServiceName;
  std::string InterfaceName;
};

std::string ProtocolToStr(std::int32_t code);
std::string ShareModeToStr(std::int32_t code);
std::string DispositionToStr(std::int32_t code);
TServiceInfo InterfaceServiceInfo(std::uint8_t kind);
std::u16string EventCodeToStr(std::uint8_t code);
std::u16string CardPromptToStr(std::uint8_t code);
std::u16string CardStateToStr(std::uint8_t state);
std::string BoolToYesNo(bool value);
std::string TextOrNoInfo(const std::string& text);

}  // namespace tessaly
