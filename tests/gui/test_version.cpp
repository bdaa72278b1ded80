// The version window: its two texts and its four links.

#include <gtest/gtest.h>

#include <QLabel>
#include <QLineEdit>
#include <QRegularExpression>

#include "ui/VersionContacts.h"

using namespace velkor;
using namespace velkor::ui;

namespace {

QString Href(const QLabel* label) {
  const QRegularExpressionMatch m = QRegularExpression("href=\"([^\"]*)\"").match(label->text());
  return m.captured(1).replace("&amp;", "&");
}

// A visible text field of the window that holds exactly this text, or null.
QLineEdit* VisibleFieldWith(QWidget& window, const QString& text) {
  for (QLineEdit* field : window.findChildren<QLineEdit*>())
    if (field->isVisible() && field->text() == text) return field;
  return nullptr;
}

}  // namespace

TEST(VersionContacts, ShowsTheVersionTextAndTheComment) {
  TfrmVersionContacts window(nullptr, VersionRecord{"3.3.0.1", "Bench build"}, ProgramContacts());
  EXPECT_EQ(window.windowTitle(), "Version and Contacts");
  EXPECT_EQ(window.txtInformation1->text(), "3.3  Build 1");
  EXPECT_EQ(window.txtInformation2->text(), "Bench build");
  EXPECT_TRUE(window.txtInformation1->isReadOnly());

  TfrmVersionContacts missing(nullptr, VersionRecord{}, ProgramContacts());
  EXPECT_EQ(missing.txtInformation1->text(), "-");
  EXPECT_EQ(missing.txtInformation2->text(), "-");
}

TEST(VersionContacts, LinksOpenMailWithTheirSubjectAndTheWebSites) {
  TfrmVersionContacts window(nullptr, VersionRecord{"1.2.3.4", ""},
                             ContactAddresses{"tech@x.test", "https://tech.x.test", "sales@x.test", "https://x.test"});
  QStringList opened;
  window.SetLinkOpener([&](const QString& url) {
    opened << url;
    return true;
  });
  window.show();
  for (QLabel* label : {window.lblTechnicalMail, window.lblTechnicalWeb, window.lblCommercialMail,
                        window.lblCommercialWeb})
    Q_EMIT label->linkActivated(Href(label));
  EXPECT_EQ(opened, (QStringList{"mailto:tech@x.test?subject=Question&body=...", "https://tech.x.test",
                                 "mailto:sales@x.test?subject=%5BKivo%5D&body=...", "https://x.test"}));
  EXPECT_TRUE(window.isVisible());  // the window stays open
  EXPECT_EQ(window.lblTechnicalMail->cursor().shape(), Qt::PointingHandCursor);
  EXPECT_EQ(VisibleFieldWith(window, "tech@x.test"), nullptr);
}

TEST(VersionContacts, ALinkNothingOpensShowsItsAddressToCopy) {
  TfrmVersionContacts window(nullptr, VersionRecord{"1.2.3.4", ""},
                             ContactAddresses{"tech@x.test", "https://tech.x.test", "sales@x.test", "https://x.test"});
  window.show();
  // The offscreen desktop has no program for mail or web links.
  Q_EMIT window.lblTechnicalMail->linkActivated(Href(window.lblTechnicalMail));
  QLineEdit* shown = VisibleFieldWith(window, "tech@x.test");
  ASSERT_NE(shown, nullptr);
  EXPECT_TRUE(shown->isReadOnly());
  EXPECT_EQ(shown->selectedText(), "tech@x.test");

  Q_EMIT window.lblCommercialWeb->linkActivated(Href(window.lblCommercialWeb));
  EXPECT_NE(VisibleFieldWith(window, "https://x.test"), nullptr);
  EXPECT_TRUE(window.isVisible());
}
