#pragma once
// "Version and Contacts": the program's version and build comment, and four links to the
// hotline and the commercial service.

#include <QDialog>

#include <functional>

#include "app/Version.h"

class QLabel;
class QLineEdit;

namespace velkor::ui {

class TfrmVersionContacts : public QDialog {
  Q_OBJECT
 public:
  // Hands a link to the desktop; false when nothing there opens it. Tests put a recorder here.
  using LinkOpener = std::function<bool(const QString& url)>;

  explicit TfrmVersionContacts(QWidget* parent = nullptr,
                               VersionRecord record = ProgramVersionRecord(),
                               ContactAddresses contacts = ProgramContacts());
  void SetLinkOpener(LinkOpener opener) { openLink_ = std::move(opener); }

  QLineEdit* txtInformation1 = nullptr;  // version
  QLineEdit* txtInformation2 = nullptr;  // comment
  QLabel* lblTechnicalMail = nullptr;
  QLabel* lblTechnicalWeb = nullptr;
  QLabel* lblCommercialMail = nullptr;
  QLabel* lblCommercialWeb = nullptr;
  // Shown when the desktop has no program for a link: the address, selected for copying.
  QLabel* lblAddress = nullptr;
  QLineEdit* txtAddress = nullptr;

 private:
  QLabel* AddLink(const QString& text, const QString& url);
  void ShowAddress(const QString& address);

  LinkOpener openLink_;
};

}  // namespace velkor::ui
