#include "app/AboutBox.h"

#include <QMessageBox>
#include <QStringList>
#include <QtGlobal>
#include <filesystem>

#include "app/QtText.h"
#include "atr/KnownCardList.h"
#include "device/CardInformation.h"
#include "device/PcscService.h"
#include "platform/ProductInfo.h"
#include "platform/RegistryHive.h"

namespace tessaly {
namespace {

QString QtText() {
  const QString running = QString::fromLatin1(qVersion());
  const QString built = QStringLiteral(QT_VERSION_STR);
  return running == built ? running : running + QStringLiteral(" (built with %1)").arg(built);
}

QString KnownCardsText() {
  if (const KnownCardList* list = KnownCardListInUse()) {
    return QStringLiteral("%1 (%2 entries)").arg(Text(list->FileName())).arg(list->EntryCount());
  }
  QStringList places;
  for (const std::filesystem::path& place : KnownCardList::SearchPlaces()) places << Text(place.string());
  return QStringLiteral("none found; looked for in ") + places.join(QStringLiteral(", "));
}

}  // namespace

QString AboutText() {
  return QStringList{
      QStringLiteral("%1 Control Center").arg(QString::fromLatin1(kProductName)),
      QStringLiteral("Version %1").arg(QString::fromLatin1(kProductVersion)),
      QString(),
      QStringLiteral("Qt: ") + QtText(),
      QStringLiteral("PC/SC library: ") + Text(PcscLibraryText()),
      QStringLiteral("Known cards: ") + KnownCardsText(),
      QStringLiteral("Registry hive: ") + Text(HiveLocationText()),
      QString(),
      QStringLiteral("Licence: %1. This program is free software: you may share and change it under the "
                     "terms of that licence. It comes with no warranty.")
          .arg(QString::fromLatin1(kProductLicence)),
  }
      .join(QLatin1Char('\n'));
}

void ShowAboutBox(QWidget& parent) {
  auto* box =
      new QMessageBox(QMessageBox::Information,
                      QStringLiteral("About %1 Control Center").arg(QString::fromLatin1(kProductName)),
                      AboutText(), QMessageBox::Close, &parent);
  box->setObjectName(QStringLiteral("AboutBox"));
  box->setTextFormat(Qt::PlainText);
  box->setTextInteractionFlags(Qt::TextSelectableByMouse);
  box->setAttribute(Qt::WA_DeleteOnClose);
  box->open();
}

}  // namespace tessaly
