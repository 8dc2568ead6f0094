// The main window TForm1: three buttons, the report and About memos, the open dialog and the flow.
#pragma once

#include <QFileDialog>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QWidget>

#include <exception>
#include <functional>
#include <string>

#include "fiff_f.h"
#include "number_format.h"

// A push button that reports every mouse press, whichever button, and nothing from the keyboard.
class TMouseDownButton : public QPushButton {
  Q_OBJECT
 public:
  using QPushButton::QPushButton;

 signals:
  void MouseDown();

 protected:
  void mousePressEvent(QMouseEvent* Event) override;
};

class TForm1 : public QWidget {
  Q_OBJECT
 public:
  explicit TForm1(TNumberSeparators Separators = {}, QWidget* Parent = nullptr);

  QPushButton* BitBtn1 = nullptr;
  TMouseDownButton* BitBtn2 = nullptr;
  TMouseDownButton* BitBtn3 = nullptr;
  QPlainTextEdit* Memo1 = nullptr;
  QPlainTextEdit* Memo2 = nullptr;
  QFileDialog* OpenDialog1 = nullptr;

  // Called between the summary and the second reading; tests use it to change the file.
  std::function<void()> FBeforeReload;

  void FormResize();
  void BitBtn1Click();
  void BitBtn2MouseDown();
  void BitBtn3MouseDown();
  void OpenAndReport();
  // What BitBtn1 runs with the file chosen in the dialog, an error ending it with a message box.
  void ChooseFile(const std::string& FileName);
  // The flow after a file is chosen (in the dialog or dropped on the window).
  void ReportFile(const std::string& FileName);
  void ShowSummary(TFiff& Reader);
  void ReloadAndConvert();

  // The window's outer size: the frame where the platform reports one, else the client area.
  QSize OuterSize() const;
  // Sizes the window so that its outer size is Outer (the client area less what the frame takes).
  void SetOuterSize(QSize Outer);

 protected:
  void resizeEvent(QResizeEvent* Event) override;
  void showEvent(QShowEvent* Event) override;
  // One .fif file dropped from a file manager runs the same flow as the open dialog.
  void dragEnterEvent(QDragEnterEvent* Event) override;
  void dropEvent(QDropEvent* Event) override;

 private:
  void createControls();
  void createLayout();
  // Runs a button's action; an error ends it with a message box, and the window goes on.
  void Guarded(const std::function<void()>& Action);
  std::string DialogFileName() const;
  void CloseDialogPopups();
  void SetCaption(const std::string& Text);

  TNumberSeparators FSeparators;
  bool FShown = false;
  std::string FFileName;  // the file chosen last, read again for the conversion
};

extern TForm1* Form1;

// The buttons' pictures, painted by the program itself.
QPixmap MakeOpenPicture();
QPixmap MakeAboutPicture();
