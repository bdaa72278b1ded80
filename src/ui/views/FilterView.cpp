#include "ui/views/FilterView.h"

#include <QComboBox>
#include <QFrame>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QSignalBlocker>
#include <QVBoxLayout>

#include "ui/Main.h"
#include "ui/QtText.h"
#include "ui/WindowKeys.h"
#include "views/FilterRule.h"
#include "ui/views/LineList.h"

namespace velkor::ui {

namespace {

// Grid columns of a rule row. The match text lies over the field controls: a row shows one
// or the other.
enum Column { kMarkColumn, kRuleColumn, kFieldColumn, kEgalColumn, kContentColumn, kAndOrColumn, kContentBColumn };

QString Numbered(const char* name, int channel) { return QString("%1%2").arg(name).arg(channel + 1); }

void FillWith(QWidget* widget, const QColor& colour) {
  widget->setAutoFillBackground(true);
  QPalette palette = widget->palette();
  palette.setColor(QPalette::Window, colour);
  widget->setPalette(palette);
}


}  // namespace

TfrmFilterView::TfrmFilterView(TfrmMain& main) : MdiChild(main, "Filter View", QSize(657, 462)) {
  QWidget* client = Client();
  panel_ = new LinePanel(main, lines_, client, LinePanelOptions{.menuSaveSelectedOnly = false});

  grpFilter = new QGroupBox("Filter", client);
  auto* grid = new QGridLayout(grpFilter);
  grid->setContentsMargins(6, 4, 6, 6);
  grid->setHorizontalSpacing(4);
  grid->setVerticalSpacing(3);
  for (int i = 0; i < kChannelCount; ++i) CreateFilterRow(i, grid);
  grid->setColumnStretch(kContentBColumn + 1, 1);

  // "Apply from :" with the source of Execute.
  auto* apply = new QFrame(client);
  apply->setFrameShape(QFrame::StyledPanel);
  auto* applyLayout = new QVBoxLayout(apply);
  applyLayout->setContentsMargins(6, 4, 6, 4);
  applyLayout->setSpacing(4);
  auto* applyTitle = new QHBoxLayout;
  applyTitle->addWidget(new QLabel("Apply from :", apply), 1);
  Label5 = new HelpLabel(apply);
  applyTitle->addWidget(Label5);
  applyLayout->addLayout(applyTitle);
  cboApply = new QComboBox(apply);
  cboApply->setObjectName("cboApply");
  cboApply->addItems({"HexaView", "This list"});
  cboApply->setCurrentIndex(kApplyHexaView);
  applyLayout->addWidget(cboApply);
  butApplyExecute = new QPushButton("Execute", apply);
  butApplyExecute->setAutoDefault(false);
  applyLayout->addWidget(butApplyExecute);
  applyLayout->addStretch(1);
  connect(butApplyExecute, &QPushButton::clicked, this, &TfrmFilterView::butApplyExecuteClick);
  connect(Label5, &ClickLabel::clicked, this, &TfrmFilterView::Label5Click);

  auto* top = new QHBoxLayout;
  top->setContentsMargins(4, 2, 4, 4);
  top->setSpacing(6);
  top->addWidget(grpFilter, 1);
  top->addWidget(apply);

  const LineTitles titles = panel_->CreateTitles(client);
  lblAideFilter = titles.help;
  connect(lblAideFilter, &ClickLabel::clicked, this, &TfrmFilterView::lblAideFilterClick);

  butSave = new QPushButton("Save all", client);
  butClose = new QPushButton("Close", client);
  for (QPushButton* b : {butSave, butClose}) {
    b->setFixedSize(75, 25);
    b->setAutoDefault(false);
  }
  panel_->scbFrame->setFixedWidth(120);
  connect(butSave, &QPushButton::clicked, this, &TfrmFilterView::Save);
  connect(butClose, &QPushButton::clicked, this, &TfrmFilterView::butCloseClick);
  // Execute is the window's default button, Close its cancel button.
  new WindowKeys(client, [this] { butApplyExecuteClick(); }, [this] { butCloseClick(); });

  auto* commands = new QHBoxLayout;
  commands->setContentsMargins(6, 4, 6, 4);
  commands->setSpacing(8);
  commands->addWidget(panel_->scbFrame);
  commands->addStretch(1);
  commands->addWidget(butSave);
  commands->addWidget(butClose);

  auto* layout = new QVBoxLayout(client);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);
  layout->addLayout(top);
  layout->addWidget(titles.row);
  layout->addWidget(panel_->lstHexa, 1);
  layout->addLayout(commands);
  layout->addWidget(panel_->StatusBar);

  ApplySettings();
  ApplyChannelColours();
}

TfrmFilterView::~TfrmFilterView() = default;

void TfrmFilterView::CreateFilterRow(int i, QGridLayout* grid) {
  QWidget* parent = grpFilter;
  Shape[i] = new QFrame(parent);
  Shape[i]->setObjectName(Numbered("Shape", i));
  Shape[i]->setFixedSize(52, 21);
  Shape[i]->setFrameShape(QFrame::Box);
  auto* markLayout = new QHBoxLayout(Shape[i]);
  markLayout->setContentsMargins(1, 1, 1, 1);
  lblCha[i] = new QLabel(ToQt(Main().GetSettings().channels[i].caption), Shape[i]);
  lblCha[i]->setObjectName(Numbered("lblCha", i));
  lblCha[i]->setAlignment(Qt::AlignCenter);
  markLayout->addWidget(lblCha[i]);

  cboCha[i] = new QComboBox(parent);
  cboCha[i]->setObjectName(Numbered("cboCha", i));
  cboCha[i]->addItems({"Always", "If field ...", "Never", "If match ...", "If not match .."});
  cboCha[i]->setFixedWidth(100);

  cboField[i] = new QComboBox(parent);
  cboField[i]->setObjectName(Numbered("cboField", i));
  cboField[i]->setFixedWidth(105);
  cboEgal[i] = new QComboBox(parent);
  cboEgal[i]->setObjectName(Numbered("cboEgal", i));
  cboEgal[i]->addItems({"=", "<>"});
  cboEgal[i]->setFixedWidth(48);
  txtContent[i] = new QLineEdit(parent);
  txtContent[i]->setObjectName(Numbered("txtContent", i));
  txtContent[i]->setFixedWidth(72);
  lblAndOr[i] = new QLabel(parent);
  lblAndOr[i]->setObjectName(Numbered("lblAndOr", i));
  lblAndOr[i]->setAlignment(Qt::AlignCenter);
  lblAndOr[i]->setFixedWidth(30);
  txtContentB[i] = new QLineEdit(parent);
  txtContentB[i]->setObjectName(QString("txtContent1%1").arg(i + 1));
  txtContentB[i]->setFixedWidth(72);
  txtMatch[i] = new QLineEdit(parent);
  txtMatch[i]->setObjectName(Numbered("txtMatch", i));

  grid->addWidget(Shape[i], i, kMarkColumn);
  grid->addWidget(cboCha[i], i, kRuleColumn);
  grid->addWidget(cboField[i], i, kFieldColumn);
  grid->addWidget(cboEgal[i], i, kEgalColumn);
  grid->addWidget(txtContent[i], i, kContentColumn);
  grid->addWidget(lblAndOr[i], i, kAndOrColumn);
  grid->addWidget(txtContentB[i], i, kContentBColumn);
  grid->addWidget(txtMatch[i], i, kFieldColumn, 1, kContentBColumn - kFieldColumn + 1);
  // Hidden controls keep their columns, so the rows stay aligned whatever shows.
  for (QWidget* w : std::initializer_list<QWidget*>{cboField[i], cboEgal[i], txtContent[i], lblAndOr[i],
                                                     txtContentB[i], txtMatch[i]}) {
    QSizePolicy policy = w->sizePolicy();
    policy.setRetainSizeWhenHidden(true);
    w->setSizePolicy(policy);
    w->hide();
  }

  FilterRowSettings& row = Main().GetSettings().filters[i];
  connect(cboCha[i], &QComboBox::currentIndexChanged, this, [this, i] { cboChaChange(i); });
  connect(cboEgal[i], &QComboBox::currentIndexChanged, this, [this, i] { cboEgalChange(i); });
  connect(cboField[i], &QComboBox::currentIndexChanged, this, [&row](int index) { row.field = index; });
  connect(cboField[i], &QComboBox::activated, this, [this, i] { cboFieldChange(i); });
  connect(txtContent[i], &QLineEdit::textChanged, this, [&row](const QString& t) { row.contentA = FromQt(t); });
  connect(txtContentB[i], &QLineEdit::textChanged, this, [&row](const QString& t) { row.contentB = FromQt(t); });
  connect(txtMatch[i], &QLineEdit::textChanged, this, [&row](const QString& t) { row.match = FromQt(t); });
}

void TfrmFilterView::cboChaChange(int channel) {
  Main().GetSettings().filters[channel].channelIf = cboCha[channel]->currentIndex();
  UpdateRow(channel);
}

void TfrmFilterView::cboEgalChange(int channel) {
  Main().GetSettings().filters[channel].equal = cboEgal[channel]->currentIndex();
  UpdateRow(channel);
}

void TfrmFilterView::cboFieldChange(int channel) {
  FilterRowSettings& row = Main().GetSettings().filters[channel];
  ChooseFilterField(row, cboField[channel]->currentIndex());
  // Through the comparison's own handler, which also sets the AND/OR label.
  cboEgal[channel]->setCurrentIndex(row.equal);
}

void TfrmFilterView::UpdateRow(int channel) {
  const int equal = cboEgal[channel]->currentIndex();
  lblAndOr[channel]->setText(equal == kCompareEqual ? "OR" : equal == kCompareDiffer ? "AND" : QString());
  const auto rule = static_cast<FieldFilterKind>(cboCha[channel]->currentIndex());
  const bool field = rule == FieldFilterKind::IfField;
  for (QWidget* w : std::initializer_list<QWidget*>{cboField[channel], cboEgal[channel], txtContent[channel],
                                                     lblAndOr[channel], txtContentB[channel]})
    w->setVisible(field);
  txtMatch[channel]->setVisible(rule == FieldFilterKind::IfMatch || rule == FieldFilterKind::IfNotMatch);
}

void TfrmFilterView::RefreshFieldList(int channel) {
  FilterRowSettings& row = Main().GetSettings().filters[channel];
  const std::vector<std::string>& names = Main().GetPipeline().Services().fieldNames.Names(channel);
  QComboBox* combo = cboField[channel];
  const QSignalBlocker block(combo);
  combo->clear();
  for (const std::string& name : names) combo->addItem(ToQt(name));
  // An index that names no entry selects nothing, as the list shows it. Before the first
  // run there are no names at all: a loaded choice is kept then, so that loading and saving
  // a file without a run gives the file back unchanged.
  if (names.empty()) return;
  if (row.field < 0 || static_cast<std::size_t>(row.field) >= names.size()) row.field = -1;
  combo->setCurrentIndex(row.field);
}

void TfrmFilterView::ApplySettings() {
  for (int i = 0; i < kChannelCount; ++i) {
    FilterRowSettings& row = Main().GetSettings().filters[i];
    // What a list cannot select, it shows and keeps as no selection.
    if (row.channelIf < 0 || row.channelIf >= kFieldFilterKindCount) row.channelIf = -1;
    if (row.equal < 0 || row.equal >= kCompareCount) row.equal = -1;
    {
      const QSignalBlocker blockRule(cboCha[i]);
      const QSignalBlocker blockEqual(cboEgal[i]);
      const QSignalBlocker blockA(txtContent[i]);
      const QSignalBlocker blockB(txtContentB[i]);
      const QSignalBlocker blockMatch(txtMatch[i]);
      cboCha[i]->setCurrentIndex(row.channelIf);
      cboEgal[i]->setCurrentIndex(row.equal);
      txtContent[i]->setText(ToQt(row.contentA));
      txtContentB[i]->setText(ToQt(row.contentB));
      txtMatch[i]->setText(ToQt(row.match));
    }
    RefreshFieldList(i);
    UpdateRow(i);
  }
}

void TfrmFilterView::SetChannelCaption(int channel, const QString& caption) { lblCha[channel]->setText(caption); }

void TfrmFilterView::ApplyChannelColours() {
  for (int i = 0; i < kChannelCount; ++i) FillWith(Shape[i], Main().ChannelTextColour(i));
  panel_->Repaint();
}

void TfrmFilterView::RepaintList() { panel_->Repaint(); }

void TfrmFilterView::butApplyExecuteClick() {
  // Events run while the lines are tested (for Stop); a second Execute waits for the first.
  if (executing_) return;
  executing_ = true;
  Pipeline& pipeline = Main().GetPipeline();
  FilterRules rules;
  for (int i = 0; i < kChannelCount; ++i)
    rules[i] = MakeFilterRule(Main().GetSettings().filters[i], pipeline.Services().fieldNames.Names(i));

  // "This list" filters the list's own lines: they move aside and the list fills anew.
  DecodedLineList ownLines;
  const DecodedLineList* source = &pipeline.Services().lines;
  if (cboApply->currentIndex() == kApplyThisList) {
    ownLines.Swap(lines_);
    source = &ownLines;
  }
  panel_->lstHexa->setUpdatesEnabled(false);
  const std::size_t kept = ExecuteFilter(*source, lines_, rules, Main().Ui());
  panel_->SyncNow();
  panel_->lstHexa->setUpdatesEnabled(true);
  panel_->SetStatusText(2, ToQt(FilterLineCountText(kept)));
  executing_ = false;
}

void TfrmFilterView::Save() { panel_->SaveA(); }

void TfrmFilterView::butCloseClick() { close(); }

void TfrmFilterView::Label5Click() { Main().ShowHelpTopic("Apply"); }

void TfrmFilterView::lblAideFilterClick() { Main().ShowHelpTopic("Filter View"); }

}  // namespace velkor::ui
