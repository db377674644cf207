// The system's smart-card service through its PC/SC library: pcsc-lite offers winscard's calls under the
// same names, so this one file serves Linux and Windows; CMake links the platform's library.
#include <winscard.h>

#include <algorithm>
#include <atomic>
#include <map>
#include <memory>
#include <mutex>

#include "device/PcscError.h"
#include "device/PcscService.h"
#include "pcsc/PcscCodes.h"

namespace tessaly {
namespace {

// Every PC/SC result passes through here, so that none goes unchecked.
void Check(LONG result, const char* call) {
  CheckPcsc(static_cast<std::uint32_t>(result), call);
}

const SCARD_IO_REQUEST* SendPciOf(std::int32_t protocol) {
  return protocol == kProtocolT0 ? SCARD_PCI_T0 : SCARD_PCI_T1;
}

// A context held while it is non-zero; released on destruction.
class Context {
 public:
  Context() = default;
  ~Context() { Release(); }
  Context(const Context&) = delete;
  Context& operator=(const Context&) = delete;

  void Establish() {
    SCARDCONTEXT context = 0;
    Check(SCardEstablishContext(static_cast<DWORD>(SCARD_SCOPE_SYSTEM), nullptr, nullptr, &context),
          "SCardEstablishContext");
    Release();
    value_ = context;
  }
  // The result is not of interest: a context whose service went away is released on the service's side.
  void Release() noexcept {
    if (value_ != 0) static_cast<void>(SCardReleaseContext(value_));
    value_ = 0;
  }
  SCARDCONTEXT Value() const { return value_; }

 private:
  std::atomic<SCARDCONTEXT> value_ = 0;
};

// A card with a context of its own: pcsc-lite serialises the calls of one context, so a card that does not
// answer would otherwise hold every other card's calls, and the wait for changes, as long as it hangs.
struct CardSession {
  Context OwnContext;
  SCARDHANDLE Handle = 0;
};

class SystemPcscService final : public PcscService {
 public:
  ~SystemPcscService() override { ReleaseContext(); }

  void EstablishContext() override { context_.Establish(); }

  void ReleaseContext() noexcept override { context_.Release(); }

  std::uint32_t ContextValue() const override {
    const SCARDCONTEXT context = context_.Value();
    if (context == 0) return 0;
    const auto value = static_cast<std::uint32_t>(context);
    return value != 0 ? value : 1;
  }

  std::vector<std::string> ListReaders() override {
    DWORD length = 0;
    LONG result = SCardListReaders(context_.Value(), nullptr, nullptr, &length);
    if (result == static_cast<LONG>(SCARD_E_NO_READERS_AVAILABLE)) return {};
    Check(result, "SCardListReaders");
    std::string names(length, '\0');
    result = SCardListReaders(context_.Value(), nullptr, names.data(), &length);
    if (result == static_cast<LONG>(SCARD_E_NO_READERS_AVAILABLE)) return {};
    Check(result, "SCardListReaders");
    return SplitMultiString(names);
  }

  bool GetStatusChange(std::vector<ReaderState>& states, std::uint32_t timeoutMs) override {
    std::vector<SCARD_READERSTATE> raw(states.size());
    for (std::size_t i = 0; i < states.size(); ++i) {
      raw[i].szReader = states[i].Name.c_str();
      raw[i].dwCurrentState = states[i].CurrentState;
    }
    const LONG result =
        SCardGetStatusChange(context_.Value(), timeoutMs == kInfiniteWait ? INFINITE : timeoutMs, raw.data(),
                             static_cast<DWORD>(raw.size()));
    if (result == static_cast<LONG>(SCARD_E_TIMEOUT)) return false;
    Check(result, "SCardGetStatusChange");
    for (std::size_t i = 0; i < states.size(); ++i) {
      states[i].EventState = static_cast<std::uint32_t>(raw[i].dwEventState);
      const std::size_t atrLength = std::min<std::size_t>(raw[i].cbAtr, sizeof raw[i].rgbAtr);
      states[i].Atr.assign(raw[i].rgbAtr, raw[i].rgbAtr + atrLength);
    }
    return true;
  }

  void Cancel() override {
    if (context_.Value() != 0) Check(SCardCancel(context_.Value()), "SCardCancel");
  }

  CardHandle Connect(const std::string& reader, std::int32_t shareMode, std::uint32_t protocols,
                     std::int32_t& activeProtocol) override {
    auto session = std::make_unique<CardSession>();
    session->OwnContext.Establish();
    DWORD active = 0;
    Check(SCardConnect(session->OwnContext.Value(), reader.c_str(), static_cast<DWORD>(shareMode),
                       static_cast<DWORD>(protocols), &session->Handle, &active),
          "SCardConnect");
    activeProtocol = static_cast<std::int32_t>(active);
    std::lock_guard lock(mutex_);
    const CardHandle card = ++lastCard_;
    sessions_.emplace(card, std::move(session));
    return card;
  }

  std::int32_t Reconnect(CardHandle card, std::int32_t shareMode, std::uint32_t protocols,
                         std::int32_t disposition) override {
    DWORD active = 0;
    Check(SCardReconnect(Session(card, "SCardReconnect").Handle, static_cast<DWORD>(shareMode),
                         static_cast<DWORD>(protocols), static_cast<DWORD>(disposition), &active),
          "SCardReconnect");
    return static_cast<std::int32_t>(active);
  }

  void Disconnect(CardHandle card, std::int32_t disposition) override {
    std::unique_ptr<CardSession> session;
    {
      std::lock_guard lock(mutex_);
      const auto found = sessions_.find(card);
      if (found == sessions_.end()) Check(SCARD_E_INVALID_HANDLE, "SCardDisconnect");
      session = std::move(found->second);
      sessions_.erase(found);
    }
    // The card's context goes with it, whether the service takes the disconnect or not.
    Check(SCardDisconnect(session->Handle, static_cast<DWORD>(disposition)), "SCardDisconnect");
  }

  std::vector<std::uint8_t> Transmit(CardHandle card, std::int32_t protocol,
                                     std::span<const std::uint8_t> command) override {
    // The largest extended-length answer: 65,536 data bytes and the status word.
    std::vector<std::uint8_t> response(65538);
    DWORD length = static_cast<DWORD>(response.size());
    Check(SCardTransmit(Session(card, "SCardTransmit").Handle, SendPciOf(protocol), command.data(),
                        static_cast<DWORD>(command.size()), nullptr, response.data(), &length),
          "SCardTransmit");
    response.resize(length);
    return response;
  }

 private:
  static std::vector<std::string> SplitMultiString(const std::string& names) {
    std::vector<std::string> readers;
    for (std::size_t start = 0; start < names.size();) {
      const std::size_t end = names.find('\0', start);
      if (end == start || end == std::string::npos) break;
      readers.push_back(names.substr(start, end - start));
      start = end + 1;
    }
    return readers;
  }

  // Each card's calls come from one thread at a time, so a session found here is used by one call only.
  CardSession& Session(CardHandle card, const char* call) {
    std::lock_guard lock(mutex_);
    const auto found = sessions_.find(card);
    if (found == sessions_.end()) Check(SCARD_E_INVALID_HANDLE, call);
    return *found->second;
  }

  // Listing readers and waiting for changes, from the layer's service worker.
  Context context_;
  std::mutex mutex_;
  std::map<CardHandle, std::unique_ptr<CardSession>> sessions_;
  CardHandle lastCard_ = 0;
};

}  // namespace

std::string PcscLibraryText() {
#ifdef PCSCLITE_VERSION_NUMBER
  return std::string("pcsc-lite ") + PCSCLITE_VERSION_NUMBER;
#else
  return "winscard (Windows)";
#endif
}

std::unique_ptr<PcscService> MakeSystemPcscService() {
  return std::make_unique<SystemPcscService>();
}

}  // namespace tessaly
