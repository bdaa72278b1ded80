#include "ui/VersionContacts.h"

#include <QDesktopServices>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QUrl>
#include <QVBoxLayout>

#include "ui/QtText.h"

namespace velkor::ui {

TfrmVersionContacts::TfrmVersionContacts(QWidget* parent, VersionRecord record, ContactAddresses contacts)
    : QDialog(parent), openLink_([](const QString& url) { return QDesktopServices::openUrl(QUrl(url)); }) {
  setWindowTitle("Version and Contacts");
  setModal(true);

  auto* layout = new QVBoxLayout(this);
  auto* info = new QFormLayout;
  txtInformation1 = new QLineEdit(ToQt(VersionText(record.fileVersion)));
  txtInformation1->setReadOnly(true);
  txtInformation2 = new QLineEdit(ToQt(CommentText(record.comment)));
  txtInformation2->setReadOnly(true);
  txtInformation2->setMinimumWidth(440);
  txtInformation1->setCursorPosition(0);
  txtInformation2->setCursorPosition(0);
  info->addRow("Version :", txtInformation1);
  info->addRow("Comment :", txtInformation2);
  layout->addLayout(info);

  const auto group = [&](const QString& title, const std::string& mail, const std::string& subject,
                         const std::string& web, QLabel*& mailLabel, QLabel*& webLabel) {
    auto* box = new QGroupBox(title);
    auto* form = new QFormLayout(box);
    mailLabel = AddLink(ToQt(mail), ToQt(MailtoLink(mail, subject)));
    webLabel = AddLink(ToQt(web), ToQt(web));
    form->addRow("Mail to :", mailLabel);
    form->addRow(new QLabel("To visit web site :"));
    form->addRow("Web :", webLabel);
    layout->addWidget(box);
  };
  group("To contact hotline for technical questions :", contacts.technicalMail, "Question",
        contacts.technicalWeb, lblTechnicalMail, lblTechnicalWeb);
  group("To contact commercial service :", contacts.commercialMail, "[Kivo]", contacts.commercialWeb,
        lblCommercialMail, lblCommercialWeb);

  lblAddress = new QLabel("No program opens this link here. Its address, to copy :");
  txtAddress = new QLineEdit;
  txtAddress->setReadOnly(true);
  lblAddress->hide();
  txtAddress->hide();
  layout->addWidget(lblAddress);
  layout->addWidget(txtAddress);

  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  auto* butClose = new QPushButton("Close");
  butClose->setDefault(true);
  buttons->addWidget(butClose);
  layout->addLayout(buttons);
  connect(butClose, &QPushButton::clicked, this, &QDialog::accept);
}

QLabel* TfrmVersionContacts::AddLink(const QString& text, const QString& url) {
  auto* label = new QLabel("<a href=\"" + url.toHtmlEscaped() + "\">" + text.toHtmlEscaped() + "</a>");
  label->setTextFormat(Qt::RichText);
  label->setTextInteractionFlags(Qt::LinksAccessibleByMouse | Qt::LinksAccessibleByKeyboard);
  label->setCursor(Qt::PointingHandCursor);
  // The window stays open; the desktop opens the mail or the site.
  connect(label, &QLabel::linkActivated, this, [this, text](const QString& link) {
    if (!openLink_(link)) ShowAddress(text);
  });
  return label;
}

void TfrmVersionContacts::ShowAddress(const QString& address) {
  txtAddress->setText(address);
  lblAddress->show();
  txtAddress->show();
  txtAddress->selectAll();
  txtAddress->setFocus();
}

}  // namespace velkor::ui
