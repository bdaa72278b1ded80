#include "ui/views/HexaView.h"

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
#include "ui/views/LineList.h"

namespace velkor::ui {

TfrmHexaView::TfrmHexaView(TfrmMain& main) : MdiChild(main, "Hexadecimal View", QSize(657, 462), true) {
  setMinimumSize(600, 250);
  QWidget* client = Client();
  panel_ = new LinePanel(main, main.GetPipeline().Services().lines, client);

  const LineTitles titles = panel_->CreateTitles(client);
  Label2 = titles.chan;
  Label3 = titles.frame;
  lblAideHexa = titles.help;
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
  layout->addWidget(titles.row);
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
