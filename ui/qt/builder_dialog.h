#pragma once

#include <QDialog>
#include <QFont>
#include <QRect>
#include <map>

#include "core/platform.h"
#include "psf/psf_builder.h"
#include "ui/commands/builder_dialog_model.h"

class QComboBox;
class QLineEdit;
class QPlainTextEdit;

namespace ui {

// Converts dialog units to pixels for a font: a horizontal unit is a quarter of the font's average
// character width, a vertical unit an eighth of its height.
struct DialogUnits {
  int baseX = 0;
  int baseY = 0;

  static DialogUnits ForFont(const QFont& font);
  QRect ToPixels(int x, int y, int width, int height) const;
};

// The PSF builder dialog: driver parameters, the three song files, the output path and the tag text.
// Constructing it opens it: a fresh built-in driver is loaded into the builder. Only the close box closes
// it, which releases the driver; Enter refreshes the value field (or presses the focused button) and
// Escape does nothing.
class BuilderDialog : public QDialog {
 public:
  BuilderDialog(psf::PsfBuilder& builder, core::Platform& platform);

  // The control of an id of the dialog's table; null for an unknown id (or a group box).
  QWidget* Control(int id) const;
  QComboBox& parameterList() const { return *m_list; }
  QLineEdit& field(int id) const;
  QPlainTextEdit& tagField() const { return *m_tag; }
  const BuilderDialogModel& model() const { return m_model; }

  // What a control of the given id does when it is used.
  void RunCommand(int id);

 protected:
  void keyPressEvent(QKeyEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  void reject() override;

 private:
  void CreateControls();
  void ReadFields();
  void ShowFields();

  psf::PsfBuilder& m_builder;
  core::Platform& m_platform;
  BuilderDialogModel m_model;
  std::map<int, QWidget*> m_controls;
  QComboBox* m_list = nullptr;
  QPlainTextEdit* m_tag = nullptr;
};

// Runs a builder dialog and returns once it has been closed. The dialog has no owner window, so every
// other window stays usable meanwhile.
void RunBuilderDialogLoop(psf::PsfBuilder& builder, core::Platform& platform);

}  // namespace ui
