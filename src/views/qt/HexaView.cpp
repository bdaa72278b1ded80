#include "views/qt/HexaView.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QScrollBar>
#include <QShortcut>
#include <QVBoxLayout>

#include "ui/Main.h"
#include "ui/QtText.h"
#include "views/LineText.h"
#include "views/qt/LineList.h"

namespace velkor::ui {

namespace {

const QColor kTitleBackground(223, 223, 223);  // 14671839, 0xDFDFDF

QLabel* TitleLabel(QLabel* label) {
  QFont bold = label->font();
  bold.setBold(true);
  label->setFont(bold);
  label->setAutoFillBackground(true);
  QPalette palette = label->palette();
  palette.setColor(QPalette::Window, kTitleBackground);
  label->setPalette(palette);
  label->setFixedHeight(16);
  return label;
}

}  // namespace

TfrmHexaView::TfrmHexaView(TfrmMain& main) : MdiChild(main, "Hexadecimal View", QSize(657, 462), true) {
  setMinimumSize(600, 250);
  QWidget* client = Client();
  panel_ = new LinePanel(main, main.GetPipeline().Services().lines, client);

  // Column titles over the rows: "Chan" over x = 8 to 55, the date, "Frame" from x = 150.
  auto* titles = new QWidget(client);
  titles->setAutoFillBackground(true);
  QPalette titlePalette = titles->palette();
  titlePalette.setColor(QPalette::Window, kTitleBackground);
  titles->setPalette(titlePalette);
  auto* titleRow = new QHBoxLayout(titles);
  titleRow->setContentsMargins(0, 0, 0, 0);
  titleRow->setSpacing(0);
  Label2 = TitleLabel(new QLabel("Chan", titles));
  Label2->setFixedWidth(47);
  TitleLabel(panel_->lblDate);
  panel_->lblDate->setParent(titles);
  panel_->lblDate->setFixedWidth(95);
  panel_->lblDate->setAlignment(Qt::AlignHCenter | Qt::AlignVCenter);
  Label3 = TitleLabel(new QLabel("Frame", titles));
  lblAideHexa = new ClickLabel("?", titles);
  TitleLabel(lblAideHexa);
  QFont helpFont = lblAideHexa->font();
  helpFont.setUnderline(true);
  lblAideHexa->setFont(helpFont);
  QPalette helpPalette = lblAideHexa->palette();
  helpPalette.setColor(QPalette::WindowText, QColor(0, 0, 255));
  lblAideHexa->setPalette(helpPalette);
  lblAideHexa->setCursor(Qt::WhatsThisCursor);
  lblAideHexa->setFixedWidth(16);
  titleRow->addSpacing(8);
  titleRow->addWidget(Label2);
  titleRow->addWidget(panel_->lblDate);
  titleRow->addWidget(Label3, 1);
  titleRow->addWidget(lblAideHexa);
  connect(lblAideHexa, &ClickLabel::clicked, this, &TfrmHexaView::lblAideHexaClick);

  chkClear = new QCheckBox("Clear on run", client);
  chkClear->setChecked(true);
  chkAutoScroll = new QCheckBox("AutoScroll", client);
  butClear = new QPushButton("Clear", client);
  butSave = new QPushButton("Save all", client);
  butClose = new QPushButton("Close", client);
  for (QPushButton* b : {butClear, butSave, butClose}) {
    b->setFixedSize(75, 25);
    b->setAutoDefault(false);
  }
  panel_->scbFrame->setFixedWidth(120);
  connect(chkClear, &QCheckBox::toggled, this, &TfrmHexaView::chkClearClick);
  connect(chkAutoScroll, &QCheckBox::toggled, this, &TfrmHexaView::chkAutoScrollClick);
  connect(butClear, &QPushButton::clicked, this, &TfrmHexaView::butClearClick);
  connect(butSave, &QPushButton::clicked, panel_, &LinePanel::SaveA);
  connect(butClose, &QPushButton::clicked, this, &TfrmHexaView::butCloseClick);
  // Close is the window's default and cancel button.
  for (QKeySequence key : {QKeySequence(Qt::Key_Escape), QKeySequence(Qt::Key_Return), QKeySequence(Qt::Key_Enter)}) {
    auto* shortcut = new QShortcut(key, client);
    shortcut->setContext(Qt::WidgetWithChildrenShortcut);
    connect(shortcut, &QShortcut::activated, this, &TfrmHexaView::butCloseClick);
  }

  auto* commands = new QHBoxLayout;
  commands->setContentsMargins(6, 4, 6, 4);
  commands->setSpacing(8);
  commands->addWidget(chkClear);
  commands->addWidget(chkAutoScroll);
  commands->addWidget(panel_->scbFrame);
  commands->addStretch(1);
  commands->addWidget(butClear);
  commands->addWidget(butSave);
  commands->addWidget(butClose);

  auto* layout = new QVBoxLayout(client);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);
  layout->addWidget(titles);
  layout->addWidget(panel_->lstHexa, 1);
  layout->addLayout(commands);
  layout->addWidget(panel_->StatusBar);

  connect(panel_, &LinePanel::Synced, this, &TfrmHexaView::LinesSynced);
  ApplySettings();
}

void TfrmHexaView::RefreshLineCount(std::size_t) { panel_->ScheduleSync(); }

void TfrmHexaView::SyncLines() { panel_->SyncNow(); }

void TfrmHexaView::RemoveOldestLine() { panel_->RemoveFirstLine(); }

void TfrmHexaView::RepaintList() { panel_->Repaint(); }

void TfrmHexaView::ApplySettings() {
  const Settings& settings = Main().GetSettings();
  chkClear->setChecked(settings.hexaClear);
  chkAutoScroll->setChecked(settings.hexaAutoScroll);
}

void TfrmHexaView::LinesSynced() {
  const int rows = panel_->Model().rowCount();
  panel_->SetStatusText(2, ToQt(LineCountText(static_cast<std::size_t>(rows))));
  if (chkAutoScroll->isChecked()) panel_->ScrollToLastLine();
}

void TfrmHexaView::butClearClick() { panel_->ClearLines(); }
void TfrmHexaView::butCloseClick() { close(); }
void TfrmHexaView::lblAideHexaClick() { Main().ShowHelpTopic("Hexa View"); }
void TfrmHexaView::chkClearClick() { Main().GetSettings().hexaClear = chkClear->isChecked(); }
void TfrmHexaView::chkAutoScrollClick() { Main().GetSettings().hexaAutoScroll = chkAutoScroll->isChecked(); }

}  // namespace velkor::ui
