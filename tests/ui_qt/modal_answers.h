#pragma once

#include <QApplication>
#include <QFileDialog>
#include <QTimer>
#include <deque>
#include <filesystem>
#include <functional>
#include <memory>

namespace ui_testing {

// Answers the modal dialogs a command brings up, one answer per dialog, in the order they appear.
class ModalAnswers {
 public:
  using Answer = std::function<void(QWidget&)>;

  ModalAnswers() {
    m_timer.setInterval(5);
    QObject::connect(&m_timer, &QTimer::timeout, [this] {
      QWidget* modal = QApplication::activeModalWidget();
      if (modal == nullptr || modal == m_lastAnswered || m_answers.empty()) return;
      m_lastAnswered = modal;
      Answer answer = std::move(m_answers.front());
      m_answers.pop_front();
      answer(*modal);
    });
    m_timer.start();
  }

  void Add(Answer answer) { m_answers.push_back(std::move(answer)); }

  // A file dialog answered with a path, or cancelled.
  void ChooseFile(const std::filesystem::path& path) {
    Add([path](QWidget& widget) {
      auto& dialog = dynamic_cast<QFileDialog&>(widget);
      dialog.selectFile(QString::fromStdString(path.string()));
      static_cast<QDialog&>(dialog).accept();
    });
  }
  void Cancel() {
    Add([](QWidget& widget) { dynamic_cast<QDialog&>(widget).reject(); });
  }

  bool AllUsed() const { return m_answers.empty(); }

 private:
  QTimer m_timer;
  std::deque<Answer> m_answers;
  QWidget* m_lastAnswered = nullptr;
};

}  // namespace ui_testing
