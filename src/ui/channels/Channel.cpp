#include "ui/channels/Channel.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFileInfo>
#include <QFrame>
#include <QHideEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QStackedWidget>
#include <algorithm>

#include "channels/ChannelLimits.h"
#include "decoders/DescriptionFile.h"
#include "ui/ClickLabel.h"
#include "ui/Main.h"
#include "ui/QtText.h"
#include "ui/views/FilterView.h"
#include "ui/views/Graphic.h"
#include "ui/views/HexaView.h"

namespace velkor::ui {

namespace {

constexpr int kCaptionLength = 6;
// The type list's items; the item index is the ChannelType.
const char* const kTypeTexts[] = {"Manchester", "Serial", "CAN", "LIN", "Logical"};
const QColor kActiveMark(160, 255, 160);

// Blanks and control characters go from both ends, nothing else (a no-break space stays).
QString TrimBlanks(const QString& text) {
  qsizetype first = 0, last = text.size();
  while (first < last && text[first].unicode() <= ' ') ++first;
  while (last > first && text[last - 1].unicode() <= ' ') --last;
  return text.mid(first, last - first);
}

// The typing limit; a longer caption from a configuration file stays whole in the box.
void SetCaptionText(QLineEdit* box, const QString& text) {
  box->setMaxLength(std::max<int>(kCaptionLength, static_cast<int>(text.size())));
  box->setText(text);
}

QLabel* Label(const QString& text, QWidget* parent, int x, int y) {
  auto* label = new QLabel(text, parent);
  label->move(x, y);
  label->adjustSize();
  return label;
}

QPushButton* Button(const QString& text, QWidget* parent, QRect at, const QString& hint = {}) {
  auto* button = new QPushButton(text, parent);
  button->setGeometry(at);
  if (!hint.isEmpty()) button->setToolTip(hint);
  return button;
}

QFrame* Separator(QWidget* parent, int y) {
  auto* line = new QFrame(parent);
  line->setFrameShape(QFrame::HLine);
  line->setFrameShadow(QFrame::Sunken);
  line->setGeometry(8, y, 495, 2);
  return line;
}

}  // namespace

TfrmChannel::TfrmChannel(TfrmMain& main, int channel)
    : MdiChild(main, QString("Channel %1").arg(channel + 1),
               QSize(kChannelWindowWidth, kChannelWindowHeight)),
      channel_(channel) {
  // A fixed border with the system menu only: no minimise, maximise or resize.
  setWindowFlags(Qt::SubWindow | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
  SetClientSize(QSize(kChannelWindowWidth, kChannelWindowHeight));
  setFixedSize(size());

  QWidget* client = Client();
  BuildTopRows(client);

  panels = new QStackedWidget(client);
  panels->setGeometry(8, 62, 511, 128);
  panels->setFrameShape(QFrame::StyledPanel);
  BuildManchesterPanel();
  const ChannelLimits& limits = kChannelLimits[channel_];
  const FilePanel serial = BuildFilePanel(ToQt(limits.framed), "SERIAL type");
  panSerial = serial.panel;
  lblBaudrateSerial = serial.baudrate;
  txtSerialFile = serial.path;
  butSerialFile = serial.pick;
  butSerialEdit = serial.edit;
  Label13 = serial.help;
  const FilePanel can = BuildFilePanel(ToQt(limits.framed), "CAN type");
  panCan = can.panel;
  lblBaudrateCan = can.baudrate;
  txtCanFile = can.path;
  butCanFile = can.pick;
  butCanEdit = can.edit;
  Label14 = can.help;
  const FilePanel lin = BuildFilePanel(ToQt(limits.framed), "LIN type");
  panLin = lin.panel;
  lblBaudrateLin = lin.baudrate;
  txtLinFile = lin.path;
  butLinFile = lin.pick;
  butLinEdit = lin.edit;
  Label12 = lin.help;
  BuildLogicalPanel();
  panels->setCurrentWidget(panManchester);

  connect(butSerialFile, &QPushButton::clicked, this, &TfrmChannel::butSerialFileClick);
  connect(butCanFile, &QPushButton::clicked, this, &TfrmChannel::butCanFileClick);
  connect(butLinFile, &QPushButton::clicked, this, &TfrmChannel::butLinFileClick);
  connect(butSerialEdit, &QPushButton::clicked, this, &TfrmChannel::butSerialEditClick);
  connect(butCanEdit, &QPushButton::clicked, this, &TfrmChannel::butCanEditClick);
  connect(butLinEdit, &QPushButton::clicked, this, &TfrmChannel::butLinEditClick);

  butClose = Button("Close", client, QRect(437, 198, 82, 25), "Close this window");
  connect(butClose, &QPushButton::clicked, this, &TfrmChannel::butCloseClick);

  ApplySettings();
}

void TfrmChannel::BuildTopRows(QWidget* client) {
  Label("Type :", client, 8, 12);
  cboType = new QComboBox(client);
  for (const char* text : kTypeTexts) cboType->addItem(text);
  cboType->setGeometry(48, 8, 112, 24);
  cboType->setToolTip("Choose the decoding type of this channel");
  connect(cboType, &QComboBox::currentIndexChanged, this, &TfrmChannel::cboTypeChange);

  Label("Caption :", client, 176, 12);
  txtNom = new QLineEdit(client);
  txtNom->setGeometry(236, 8, 72, 24);
  txtNom->setMaxLength(kCaptionLength);
  txtNom->setToolTip("6 characters max, ENTER to modify caption in Hexa and Graphic Views");
  txtNom->installEventFilter(this);
  connect(txtNom, &QLineEdit::textChanged, this, &TfrmChannel::txtNomChange);
  connect(txtNom, &QLineEdit::textEdited, this, [this] { captionEdited_ = true; });

  // The mark lies behind the box and its label, which draw no background of their own.
  shaOn = new QFrame(client);
  shaOn->setGeometry(326, 6, 104, 28);
  shaOn->setAutoFillBackground(true);
  QPalette mark = shaOn->palette();
  mark.setColor(QPalette::Window, kActiveMark);
  shaOn->setPalette(mark);
  shaOn->hide();
  butOn = new QCheckBox(client);
  butOn->move(334, 12);
  butOn->adjustSize();
  connect(butOn, &QCheckBox::clicked, this, &TfrmChannel::butOnClick);
  lblOn = new ClickLabel("Activation", client, [this] { lblOnClick(); });
  lblOn->move(334 + butOn->width() + 2, 12);
  lblOn->adjustSize();

  lblAideChannel = new HelpLabel(client, [this] { Main().ShowHelpTopic("Channel"); });
  lblAideChannel->setGeometry(500, 10, 16, 20);
  lblAideChannel->setAlignment(Qt::AlignCenter);

  Label("Sampling :", client, 8, 40);
  lblSampling = Label(ToQt(kChannelLimits[channel_].sampling), client, 76, 40);
}

void TfrmChannel::BuildManchesterPanel() {
  panManchester = new QWidget;
  panels->addWidget(panManchester);
  Label("Baudrate :", panManchester, 8, 6);
  lblBaudrateManchester = Label(ToQt(kChannelLimits[channel_].manchester), panManchester, 76, 6);
  lblAideManchester = new HelpLabel(panManchester, [this] { Main().ShowHelpTopic("MANCHESTER type"); });
  lblAideManchester->setGeometry(488, 4, 16, 20);
  lblAideManchester->setAlignment(Qt::AlignCenter);
  Separator(panManchester, 26);
  Label("Frame Description List :", panManchester, 8, 32);
  lstFichiers = new QListWidget(panManchester);
  lstFichiers->setGeometry(8, 50, 400, 72);
  lstFichiers->setSelectionMode(QAbstractItemView::SingleSelection);
  connect(lstFichiers, &QListWidget::itemChanged, this, [this] { StoreManchesterList(); });
  connect(lstFichiers, &QListWidget::itemDoubleClicked, this, [this] { butViewClick(); });
  butAdd = Button("Add", panManchester, QRect(416, 50, 87, 23), "Add a Frame Description");
  butDelete = Button("Delete", panManchester, QRect(416, 74, 87, 23), "Delete Frame Description");
  butView = Button("Edit", panManchester, QRect(416, 98, 87, 23));
  connect(butAdd, &QPushButton::clicked, this, &TfrmChannel::butAddClick);
  connect(butDelete, &QPushButton::clicked, this, &TfrmChannel::butDeleteClick);
  connect(butView, &QPushButton::clicked, this, &TfrmChannel::butViewClick);
}

TfrmChannel::FilePanel TfrmChannel::BuildFilePanel(const QString& baudrate, const QString& helpTopic) {
  FilePanel p{};
  p.panel = new QWidget;
  panels->addWidget(p.panel);
  Label("Baudrate :", p.panel, 8, 6);
  p.baudrate = Label(baudrate, p.panel, 76, 6);
  p.help = new HelpLabel(p.panel, [this, helpTopic] { Main().ShowHelpTopic(helpTopic); });
  p.help->setGeometry(488, 4, 16, 20);
  p.help->setAlignment(Qt::AlignCenter);
  Separator(p.panel, 26);
  Label("Frames Description :", p.panel, 8, 38);
  p.path = new QLineEdit(p.panel);
  p.path->setReadOnly(true);
  p.path->setGeometry(8, 58, 400, 24);
  p.pick = Button("...", p.panel, QRect(412, 58, 26, 24));
  p.edit = Button("Edit", p.panel, QRect(444, 58, 59, 24));
  return p;
}

void TfrmChannel::BuildLogicalPanel() {
  panLogical = new QWidget;
  panels->addWidget(panLogical);
  chkGeneration = new QCheckBox("Generation of messages in HexaView window", panLogical);
  chkGeneration->move(8, 8);
  chkGeneration->adjustSize();
  connect(chkGeneration, &QCheckBox::toggled, this, [this](bool on) {
    if (!applying_) Store().generation = on;
  });
  Label9 = new HelpLabel(panLogical, [this] { Main().ShowHelpTopic("LOGICAL type"); });
  Label9->setGeometry(488, 4, 16, 20);
  Label9->setAlignment(Qt::AlignCenter);
}

ChannelSettings& TfrmChannel::Store() { return Main().GetSettings().channels[channel_]; }

// ---------------------------------------------------------------------------------------
// The settings into the controls

void TfrmChannel::ApplySettings() {
  const ChannelSettings& s = Store();
  applying_ = true;
  const int type = static_cast<int>(s.type);
  cboType->setCurrentIndex(type >= 0 && type < cboType->count() ? type : -1);
  SetCaptionText(txtNom, ToQt(s.caption));
  applying_ = false;

  SetActivation(s.active);
  ApplyCaption();
  ShowTypePanel();

  applying_ = true;
  chkGeneration->setChecked(s.generation);
  FillManchesterList();
  txtCanFile->setText(ToQt(s.canFile));
  txtSerialFile->setText(ToQt(s.serialFile));
  txtLinFile->setText(ToQt(s.linFile));
  applying_ = false;
}

void TfrmChannel::FillManchesterList() {
  const ChannelSettings& s = Store();
  lstFichiers->clear();
  const std::size_t count = std::min<std::size_t>(s.manchesterFiles.size(), kMaxManchesterFiles);
  for (std::size_t i = 0; i < count; ++i) {
    auto* item = new QListWidgetItem(ToQt(s.manchesterFiles[i].path), lstFichiers);
    item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable);
    item->setCheckState(s.manchesterFiles[i].enabled ? Qt::Checked : Qt::Unchecked);
  }
  butAdd->setEnabled(lstFichiers->count() < kMaxManchesterFiles);
}

// ---------------------------------------------------------------------------------------
// Operations

void TfrmChannel::SetActivation(bool on) {
  shaOn->setVisible(on);
  butOn->setChecked(on);
  Main().SetChannelImage(channel_, on);
  Store().active = on;
}

void TfrmChannel::ApplyCaption() {
  const QString caption = TrimBlanks(txtNom->text());
  TfrmGraphicView* graphic = Main().GraphicView();
  TfrmFilterView* filter = Main().FilterView();
  TfrmHexaView* hexa = Main().HexaView();
  if (graphic) graphic->SetChannelCaption(channel_, caption);
  if (filter) filter->SetChannelCaption(channel_, caption);
  Main().SetChannelHint(channel_, caption);
  if (hexa) hexa->RepaintList();
  if (filter) filter->RepaintList();
  captionEdited_ = false;
}

void TfrmChannel::ShowTypePanel() {
  const QString type = cboType->currentText();
  QWidget* panel = type == "Manchester" ? panManchester
                   : type == "Logical"  ? panLogical
                   : type == "Serial"   ? panSerial
                   : type == "LIN"      ? panLin
                   : type == "CAN"      ? panCan
                                        : nullptr;
  if (panel) panels->setCurrentWidget(panel);
}

QWidget* TfrmChannel::FrontPanel() const { return panels->currentWidget(); }

// ---------------------------------------------------------------------------------------
// Handlers

void TfrmChannel::cboTypeChange() {
  if (!applying_) {
    const int index = cboType->currentIndex();
    Store().type = index < 0 ? ChannelType::None : static_cast<ChannelType>(index);
  }
  ShowTypePanel();
}

void TfrmChannel::butOnClick() { SetActivation(butOn->isChecked()); }

void TfrmChannel::lblOnClick() { SetActivation(!butOn->isChecked()); }

void TfrmChannel::txtNomChange(const QString& text) {
  // A 7-character caption from a file may be shortened, never lengthened again by typing.
  txtNom->setMaxLength(std::max<int>(kCaptionLength, static_cast<int>(text.size())));
  // The lists draw the box's text as it stands, before Enter.
  if (!applying_) Store().caption = FromQt(text);
}

void TfrmChannel::txtNomKeyDown() { ApplyCaption(); }

bool TfrmChannel::eventFilter(QObject* watched, QEvent* event) {
  if (watched == txtNom && event->type() == QEvent::KeyPress) {
    const int key = static_cast<QKeyEvent*>(event)->key();
    if (key == Qt::Key_Return || key == Qt::Key_Enter) {
      txtNomKeyDown();
      return true;  // swallowed: no default button or beep
    }
  }
  return MdiChild::eventFilter(watched, event);
}

void TfrmChannel::FormClose() {
  if (captionEdited_) ApplyCaption();
}

void TfrmChannel::hideEvent(QHideEvent* event) {
  MdiChild::hideEvent(event);
  // Only the window's own hiding counts, not the frame's (nor the frame's destruction).
  if (isHidden() && !event->spontaneous()) ApplyCaption();
}

void TfrmChannel::StoreManchesterList() {
  if (applying_) return;
  std::vector<ManchesterEntry>& files = Store().manchesterFiles;
  files.clear();
  for (int i = 0; i < lstFichiers->count(); ++i) {
    const QListWidgetItem* item = lstFichiers->item(i);
    files.push_back(ManchesterEntry{FromQt(item->text()), item->checkState() == Qt::Checked});
  }
}

void TfrmChannel::butAddClick() {
  if (lstFichiers->count() >= kMaxManchesterFiles) return;
  const QString type = cboType->currentText();
  const QString filter = type == "Serial" ? "Serial Frame Description (*.sfd)|*.sfd"
                         : type == "CAN"  ? "CAN Frame Description (*.cfd)|*.cfd"
                         : type == "LIN"  ? "LIN Frame Description (*.lfd)|*.lfd"
                                          : "Manchester Frame Description (*.mfd)|*.mfd";
  const QString path = Main().GetDialogs().OpenFile(this, {QString(), filter, QString(), QString()});
  if (path.isEmpty()) return;
  auto* item = new QListWidgetItem(QFileInfo(path).absoluteFilePath());
  item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable);
  item->setCheckState(Qt::Checked);
  applying_ = true;  // the item is stored once it is complete
  lstFichiers->addItem(item);
  applying_ = false;
  StoreManchesterList();
  if (lstFichiers->count() >= kMaxManchesterFiles) butAdd->setEnabled(false);
}

void TfrmChannel::butDeleteClick() {
  const QList<QListWidgetItem*> selected = lstFichiers->selectedItems();
  if (selected.isEmpty()) return;
  delete lstFichiers->takeItem(lstFichiers->row(selected.first()));
  StoreManchesterList();
  butAdd->setEnabled(true);
}

void TfrmChannel::butViewClick() {
  const QList<QListWidgetItem*> selected = lstFichiers->selectedItems();
  if (lstFichiers->count() == 0 || selected.isEmpty()) return;
  EditFile(selected.first()->text());
}

void TfrmChannel::PickFile(QLineEdit* box, std::string ChannelSettings::*field, const QString& filter,
                           const QString& extension) {
  const QString path = Main().GetDialogs().OpenFile(this, {QString(), filter, extension, QString()});
  if (path.isEmpty()) return;
  const QString full = QFileInfo(path).absoluteFilePath();
  box->setText(full);
  Store().*field = FromQt(full);
}

void TfrmChannel::butSerialFileClick() {
  PickFile(txtSerialFile, &ChannelSettings::serialFile, "SERIAL Frame Description (*.sfd)|*.sfd", "sfd");
}

void TfrmChannel::butCanFileClick() {
  PickFile(txtCanFile, &ChannelSettings::canFile, "CAN Frame Description (*.cfd)|*.cfd", "cfd");
}

void TfrmChannel::butLinFileClick() {
  PickFile(txtLinFile, &ChannelSettings::linFile, "LIN Frame Description (*.lfd)|*.lfd", "lfd");
}

void TfrmChannel::EditFile(const QString& path) {
  // The file that the run would read, wherever it was found.
  const DescriptionLocation location = FindDescriptionFile(FromQt(path),
                                                           Main().GetPipeline().Services().configFolder);
  if (location.found) {
    Main().OpenFrameEditor(ToQt(location.path), QString());
    return;
  }
  const QString tried = ToQt(FoldersTriedLine(location));
  Main().ShowMessage("The file can not be opened" + tried, "Error");
}

void TfrmChannel::butSerialEditClick() { EditFile(txtSerialFile->text()); }
void TfrmChannel::butCanEditClick() { EditFile(txtCanFile->text()); }
void TfrmChannel::butLinEditClick() { EditFile(txtLinFile->text()); }

}  // namespace velkor::ui
