#include "ui/qt/builder_dialog.h"

#include <qdrawutil.h>
#include <QCloseEvent>
#include <QComboBox>
#include <QEventLoop>
#include <QFontMetrics>
#include <QGroupBox>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPainter>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>

#include "ui/qt/file_names.h"

namespace ui {

namespace {

QString ToQString(std::string_view text) { return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())); }

int MulDiv(int value, int numerator, int denominator) {
  // Rounds to the nearest pixel, as the dialog manager does.
  return (value * numerator + denominator / 2) / denominator;
}

// A group box drawn the classic way: an etched frame whose top line runs through the middle of the title,
// so the controls laid inside it in dialog units keep their room.
class GroupFrame : public QGroupBox {
 public:
  GroupFrame(const QString& title, QWidget* parent) : QGroupBox(title, parent) {}

 protected:
  void paintEvent(QPaintEvent* /*event*/) override {
    QPainter painter(this);
    const QFontMetrics metrics = fontMetrics();
    const QRect frame = rect().adjusted(0, metrics.height() / 2, -1, -1);
    qDrawShadeRect(&painter, frame, palette(), true, 1, 0);
    const int textX = metrics.averageCharWidth();
    const QRect textRect(textX - 2, 0, metrics.horizontalAdvance(title()) + 4, metrics.height());
    painter.fillRect(textRect, palette().color(QPalette::Window));
    painter.setPen(palette().color(QPalette::WindowText));
    painter.drawText(textRect, Qt::AlignCenter, title());
  }
};

void SetTextIfChanged(QLineEdit& edit, const QString& wanted) {
  if (edit.text() != wanted) edit.setText(wanted);
}

// A path field keeps the bytes it was given (a name that is not UTF-8 shows with U+FFFD) for as long as
// the user leaves what it shows unchanged.
void ReadPathField(const QLineEdit& edit, std::string& path) {
  if (edit.text() != QStringFromPath(path)) path = PathFromQString(edit.text());
}

}  // namespace

DialogUnits DialogUnits::ForFont(const QFont& font) {
  const QFontMetrics metrics(font);
  const int alphabetWidth =
      metrics.horizontalAdvance(QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"));
  return DialogUnits{(alphabetWidth / 26 + 1) / 2, metrics.height()};
}

QRect DialogUnits::ToPixels(int x, int y, int width, int height) const {
  return QRect(MulDiv(x, baseX, 4), MulDiv(y, baseY, 8), MulDiv(width, baseX, 4), MulDiv(height, baseY, 8));
}

BuilderDialog::BuilderDialog(psf::PsfBuilder& builder, core::Platform& platform)
    : QDialog(nullptr, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                           Qt::WindowCloseButtonHint),
      m_builder(builder),
      m_platform(platform) {
  setWindowTitle(ToQString(BUILDER_DIALOG_TITLE));
  CreateControls();
  OpenBuilderDialog(m_model, m_builder);
  {
    const QSignalBlocker blocker(m_list);
    for (const std::string& item : m_model.items) m_list->addItem(QString::fromStdString(item));
    m_list->setCurrentIndex(-1);
  }
  ShowFields();

  // Centred on the screen.
  if (const QScreen* screen = QGuiApplication::primaryScreen()) {
    const QRect work = screen->availableGeometry();
    move(work.left() + (work.width() - width()) / 2, work.top() + (work.height() - height()) / 2);
  }
}

void BuilderDialog::CreateControls() {
  const DialogUnits units = DialogUnits::ForFont(font());
  setFixedSize(units.ToPixels(0, 0, BUILDER_DIALOG_WIDTH, BUILDER_DIALOG_HEIGHT).size());

  QWidget* previous = nullptr;
  for (const BuilderControl& control : BuilderControls()) {
    const QRect rect = units.ToPixels(control.x, control.y, control.width, control.height);
    QWidget* widget = nullptr;
    switch (control.kind) {
      case ControlKind::GroupBox:
        widget = new GroupFrame(ToQString(control.text), this);
        break;
      case ControlKind::Edit:
        widget = new QLineEdit(this);
        break;
      case ControlKind::Button: {
        auto* button = new QPushButton(ToQString(control.text), this);
        // Enter is the dialog's own key, not a button's.
        button->setAutoDefault(false);
        const int id = control.id;
        connect(button, &QPushButton::clicked, this, [this, id] { RunCommand(id); });
        widget = button;
        break;
      }
      case ControlKind::List: {
        m_list = new QComboBox(this);
        m_list->setEditable(false);
        // A drop-down list of a fixed height below the box, as tall as the control's rectangle.
        m_list->setStyleSheet(QStringLiteral("QComboBox { combobox-popup: 0; }"));
        connect(m_list, &QComboBox::currentIndexChanged, this, [this] { RunCommand(BUILDER_PARAMETER_LIST); });
        widget = m_list;
        break;
      }
      case ControlKind::TagEdit:
        m_tag = new QPlainTextEdit(this);
        m_tag->setLineWrapMode(QPlainTextEdit::NoWrap);
        m_tag->setTabChangesFocus(true);
        widget = m_tag;
        break;
    }
    if (control.kind == ControlKind::List) {
      // The rectangle's height is that of the open list; the closed box is as tall as an edit.
      const QRect closed = units.ToPixels(control.x, control.y, control.width, 12);
      m_list->setGeometry(closed.x(), closed.y(), closed.width(),
                          std::max(closed.height(), m_list->sizeHint().height()));
      const int itemHeight = std::max(1, QFontMetrics(m_list->font()).height() + 2);
      m_list->setMaxVisibleItems(std::max(1, (rect.height() - m_list->height()) / itemHeight));
    } else {
      widget->setGeometry(rect);
    }
    if (control.kind == ControlKind::GroupBox) {
      widget->lower();
      continue;
    }
    m_controls[control.id] = widget;
    widget->setFocusPolicy(Qt::StrongFocus);
    if (previous != nullptr) setTabOrder(previous, widget);
    previous = widget;
  }
}

QWidget* BuilderDialog::Control(int id) const {
  const auto found = m_controls.find(id);
  return found == m_controls.end() ? nullptr : found->second;
}

QLineEdit& BuilderDialog::field(int id) const { return *static_cast<QLineEdit*>(m_controls.at(id)); }

void BuilderDialog::ReadFields() {
  m_model.selected = m_list->currentIndex();
  m_model.value = field(BUILDER_VALUE).text().toStdString();
  ReadPathField(field(BUILDER_SEQUENCE_PATH), m_model.sequencePath);
  ReadPathField(field(BUILDER_HEADER_PATH), m_model.headerPath);
  ReadPathField(field(BUILDER_SAMPLE_PATH), m_model.samplePath);
  ReadPathField(field(BUILDER_PSF_PATH), m_model.psfPath);
  m_model.tagText = m_tag->toPlainText().toStdString();
}

void BuilderDialog::ShowFields() {
  if (m_list->currentIndex() != m_model.selected) {
    const QSignalBlocker blocker(m_list);
    m_list->setCurrentIndex(m_model.selected);
  }
  SetTextIfChanged(field(BUILDER_VALUE), QString::fromStdString(m_model.value));
  SetTextIfChanged(field(BUILDER_SEQUENCE_PATH), QStringFromPath(m_model.sequencePath));
  SetTextIfChanged(field(BUILDER_HEADER_PATH), QStringFromPath(m_model.headerPath));
  SetTextIfChanged(field(BUILDER_SAMPLE_PATH), QStringFromPath(m_model.samplePath));
  SetTextIfChanged(field(BUILDER_PSF_PATH), QStringFromPath(m_model.psfPath));
  const QString tag = QString::fromStdString(m_model.tagText);
  if (m_tag->toPlainText() != tag) m_tag->setPlainText(tag);
}

void BuilderDialog::RunCommand(int id) {
  ReadFields();
  // A Save that wrote nothing has told the user why.
  RunBuilderCommand(m_model, id, m_builder, m_platform);
  ShowFields();
}

void BuilderDialog::keyPressEvent(QKeyEvent* event) {
  const bool plain = event->modifiers() == Qt::NoModifier ||
                     (event->modifiers() == Qt::KeypadModifier && event->key() == Qt::Key_Enter);
  if (plain && (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter)) {
    // A focused button takes Enter as a press; anywhere else Enter means the list's id, which refreshes
    // the value field.
    if (auto* button = qobject_cast<QPushButton*>(focusWidget())) {
      button->click();
    } else {
      RunCommand(BUILDER_PARAMETER_LIST);
    }
    event->accept();
    return;
  }
  if (plain && event->key() == Qt::Key_Escape) {
    // Escape means the value field's id, which does nothing.
    event->accept();
    return;
  }
  QDialog::keyPressEvent(event);
}

void BuilderDialog::reject() {
  // Only the close box closes the dialog.
}

void BuilderDialog::closeEvent(QCloseEvent* event) {
  CloseBuilderDialog(m_builder);
  done(1);
  event->accept();
}

void RunBuilderDialogLoop(psf::PsfBuilder& builder, core::Platform& platform) {
  BuilderDialog dialog(builder, platform);
  QEventLoop loop;
  QObject::connect(&dialog, &QDialog::finished, &loop, &QEventLoop::quit);
  dialog.show();
  loop.exec();
}

}  // namespace ui
