#pragma once
// "Filter View": a filtered copy of decoded lines. Per channel a rule (always, never, a
// named field with or without given values, a text found or not in the frame text);
// "Execute" runs the rules over the Hexa view's lines or over this view's own list and fills
// the list with the lines that pass. The list is drawn, timed, copied, saved and inspected
// as the Hexa view's, on its own lines.

#include <array>

#include "pipeline/Types.h"
#include "ui/MdiChild.h"
#include "views/DecodedLine.h"

class QComboBox;
class QFrame;
class QGridLayout;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace velkor::ui {

class ClickLabel;
class LinePanel;

class TfrmFilterView : public MdiChild {
  Q_OBJECT
 public:
  explicit TfrmFilterView(TfrmMain& main);
  ~TfrmFilterView() override;

  // The channel's label beside its rule row.
  void SetChannelCaption(int channel, const QString& caption);
  // The channel marks take the text colours; the list repaints.
  void ApplyChannelColours();
  void RepaintList();
  // The rule rows from the settings, each row refreshed as after a change of its rule.
  void ApplySettings();
  // The channel's field list from its registered names; the chosen field from the settings.
  void RefreshFieldList(int channel);

  DecodedLineList& Lines() { return lines_; }
  LinePanel& Panel() { return *panel_; }
  bool Executing() const { return executing_; }

  // Handlers; `channel` is the sender's tag, 0 to 3.
  void cboChaChange(int channel);
  void cboEgalChange(int channel);
  // The user picked a field (by mouse or keys; not a change made by the program).
  void cboFieldChange(int channel);
  void butApplyExecuteClick();
  // Writes every line of the list, whatever the selection ("Save all" and both menu items).
  void Save();
  void butCloseClick();
  void Label5Click();
  void lblAideFilterClick();

  // Item indexes of cboApply.
  static constexpr int kApplyHexaView = 0;
  static constexpr int kApplyThisList = 1;

  QGroupBox* grpFilter = nullptr;
  std::array<QFrame*, kChannelCount> Shape{};
  std::array<QLabel*, kChannelCount> lblCha{};
  std::array<QComboBox*, kChannelCount> cboCha{};
  std::array<QComboBox*, kChannelCount> cboField{};
  std::array<QComboBox*, kChannelCount> cboEgal{};
  std::array<QLineEdit*, kChannelCount> txtContent{};   // content A
  std::array<QLabel*, kChannelCount> lblAndOr{};
  std::array<QLineEdit*, kChannelCount> txtContentB{};  // content B (txtContent11..14)
  std::array<QLineEdit*, kChannelCount> txtMatch{};
  QComboBox* cboApply = nullptr;
  QPushButton* butApplyExecute = nullptr;
  ClickLabel* Label5 = nullptr;
  ClickLabel* lblAideFilter = nullptr;
  QPushButton* butSave = nullptr;
  QPushButton* butClose = nullptr;

 private:
  void CreateFilterRow(int channel, QGridLayout* grid);
  // The AND/OR label and which controls of the row show, from its rule and comparison.
  void UpdateRow(int channel);

  // The list's lines; declared before the panel that shows them.
  DecodedLineList lines_;
  LinePanel* panel_ = nullptr;
  bool executing_ = false;
};

}  // namespace velkor::ui
