#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "TempDir.h"
#include "TestText.h"
#include "VirtualReaderPagesFixture.h"
#include "app/ExchangeHistoryPane.h"
#include "app/ExchangePage.h"

class QLineEdit;

namespace tessaly::test {

void WriteText(const std::filesystem::path& file, const std::string& text);

// The Exchange page over the virtual reader's card, whose card type names a command and a status-word file
// of the test's own.
class ExchangePageTest : public VirtualReaderPagesTest {
 protected:
  static constexpr char kCardType[] = "ISO-7816 Smart Card";

  ExchangePageTest();

  // Starts with the card opened under the protocol given, and counts the commands sent from here on.
  void Start(std::int32_t protocol = 2);

  bool AwaitAnswer();
  // Sends what the fields make up and waits for the answer.
  bool Send();
  bool RunScript();
  // Waits until the reset, reconnection or disconnection under way has ended.
  bool AwaitCard();

  ExchangePage& Page() { return pages_->Exchange(); }
  QLineEdit& Field(ApduField field) { return Page().FieldEdit(field); }
  void Fill(const ApduFieldTexts& fields);
  // The answer's row of that caption as "hex | text".
  std::string Row(const QString& caption);
  // The history's row as it shows.
  QString HistoryRow(int row);
  QString Path(const std::string& name) const;

  TempDir folder_;
  int sent_ = 0;
  // The card operations asked of the layer: "reset", "reconnect 1", "disconnect 2".
  std::vector<std::string> cardCalls_;
};

}  // namespace tessaly::test
