// tessaly-adversarial-card: a card in pcscd's vsmartcard virtual reader that misbehaves on request, for the
// end-to-end tests. It connects to the driver's port (the first argument) and answers by the command's INS:
//   01  never answers
//   02  answers with an empty frame
//   03  sends a frame that promises ten bytes and holds two, then nothing
//   04  hands out 300 bytes as 61 00, then 256 bytes and 61 2C, then 44 bytes and 90 00 (GET RESPONSE)
//   05  answers 01 61 01 to the command and to every GET RESPONSE, for ever
//   06  answers one byte, 90
//   other  answers 90 00
// It ends when the driver closes the connection or a signal ends it.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<std::uint8_t>;

const Bytes kAtr{0x3B, 0x02, 0x14, 0x50};

bool ReceiveExactly(int socket, std::uint8_t* buffer, std::size_t size) {
  for (std::size_t received = 0; received < size;) {
    const ssize_t count = ::recv(socket, buffer + received, size - received, 0);
    if (count <= 0) return false;
    received += static_cast<std::size_t>(count);
  }
  return true;
}

void SendRaw(int socket, const Bytes& bytes) {
  for (std::size_t sent = 0; sent < bytes.size();) {
    const ssize_t count = ::send(socket, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
    if (count <= 0) return;
    sent += static_cast<std::size_t>(count);
  }
}

void SendFrame(int socket, const Bytes& message) {
  Bytes frame{static_cast<std::uint8_t>(message.size() >> 8), static_cast<std::uint8_t>(message.size())};
  frame.insert(frame.end(), message.begin(), message.end());
  SendRaw(socket, frame);
}

Bytes Filled(std::size_t count, std::uint8_t value, std::uint8_t sw1, std::uint8_t sw2) {
  Bytes answer(count, value);
  answer.insert(answer.end(), {sw1, sw2});
  return answer;
}

class Card {
 public:
  explicit Card(int socket) : socket_(socket) {}

  // False once the card has stopped answering for good.
  bool Answer(const Bytes& message) {
    if (message.size() == 1) {
      if (message[0] == 4) SendFrame(socket_, kAtr);  // the ATR; power on, off and reset need no answer
      return true;
    }
    const std::uint8_t instruction = message.size() > 1 ? message[1] : 0;
    if (instruction == 0xC0) {
      SendFrame(socket_, GetResponse());
      return true;
    }
    chain_ = 0;
    switch (instruction) {
      case 0x01:
        return false;
      case 0x02:
        SendFrame(socket_, {});
        return true;
      case 0x03:
        SendRaw(socket_, {0x00, 0x0A, 0x90, 0x00});
        return false;
      case 0x04:
        chain_ = 1;
        SendFrame(socket_, {0x61, 0x00});
        return true;
      case 0x05:
        chain_ = 3;
        SendFrame(socket_, {0x01, 0x61, 0x01});
        return true;
      case 0x06:
        SendFrame(socket_, {0x90});
        return true;
      default:
        SendFrame(socket_, {0x90, 0x00});
        return true;
    }
  }

 private:
  Bytes GetResponse() {
    switch (chain_) {
      case 1:
        chain_ = 2;
        return Filled(256, 0xA1, 0x61, 0x2C);
      case 2:
        chain_ = 0;
        return Filled(44, 0xB2, 0x90, 0x00);
      case 3:
        return {0x01, 0x61, 0x01};
      default:
        return {0x69, 0x85};
    }
  }

  int socket_;
  int chain_ = 0;
};

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "Usage: tessaly-adversarial-card PORT\n");
    return 2;
  }
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(static_cast<std::uint16_t>(std::stoi(argv[1])));
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  const int socket = ::socket(AF_INET, SOCK_STREAM, 0);
  if (::connect(socket, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
    std::perror("connect");
    return 1;
  }
  const int on = 1;
  ::setsockopt(socket, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
  std::printf("inserted\n");
  std::fflush(stdout);
  Card card(socket);
  bool answering = true;
  while (true) {
    std::uint8_t header[2];
    if (!ReceiveExactly(socket, header, sizeof header)) break;
    Bytes message((std::size_t{header[0]} << 8) | header[1]);
    if (!ReceiveExactly(socket, message.data(), message.size())) break;
    // A card that has gone silent hears everything and says nothing.
    if (answering) answering = card.Answer(message);
  }
  ::close(socket);
  return 0;
}
