// The main window: its controls as designed, the size rule, the button events and the open flow.
#include "Tessaline_1f.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QCompleter>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFile>
#include <QMessageBox>
#include <QMimeData>
#include <QMouseEvent>
#include <QScrollBar>

#include <filesystem>
#include <memory>
#include <stdexcept>

#include "convert.h"
#include "summary.h"
#include "tessaline_version.h"

TForm1* Form1 = nullptr;

namespace {

const char* const kAboutText[] = {
    "*****About Tessaline*****",
    "",
    "This program converts Neuromag's FIFF file",
    "into Consortium Scilab's dat file format (INRIA,ENPC).",
    "Beforehand, increaing available memory is recommended as",
    "follows",
    "stacksize(50000000);",
    "",
    "Raw data are saved as int16 in Scilab.",
    "To use raw data on MATLaB, type as",
    "  data=diag(CalXRnge(1:306))*double(raw_data(1:306,1:1000));",
    "CalXRnge(1:$-1) is calibration X range of each sensor.",
    "CalXRnge($) is sampling frequency.",
    "",
    "Tessaline " TESSALINE_VERSION ", written by the Tessaline project",
    "as a converter for MEG/EEG laboratories.",
    "Released as 1.0.0 on 2026/10/05.",
    "Revised as 1.0.1 on 2026/11/02 (series of files).",
    "Revised as 1.1.0 on 2026/12/08 (summary of averages).",
    "",
    "",
    " ",
    " ",
};

QFont GothicFont() {
  QFont f;
  f.setFamilies({"MS PGothic", QString::fromUtf8("ＭＳ Ｐゴシック"), "IPAPGothic", "VL PGothic", "Noto Sans CJK JP",
                 "DejaVu Sans", "Sans Serif"});
  f.setPixelSize(12);
  return f;
}

QFont CenturyFont() {
  QFont f;
  f.setFamilies({"Century", "Century Schoolbook", "C059", "TeX Gyre Schola", "DejaVu Serif", "Serif"});
  f.setPixelSize(19);
  f.setBold(true);
  return f;
}

QPlainTextEdit* MakeMemo(QWidget* Parent, const char* Name) {
  auto* memo = new QPlainTextEdit(Parent);
  memo->setObjectName(Name);
  memo->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  memo->setLineWrapMode(QPlainTextEdit::WidgetWidth);
  return memo;
}

}  // namespace

void TMouseDownButton::mousePressEvent(QMouseEvent* Event) {
  emit MouseDown();
  QPushButton::mousePressEvent(Event);  // the pressed look, for the left button
}

TForm1::TForm1(TNumberSeparators Separators, QWidget* Parent) : QWidget(Parent), FSeparators(std::move(Separators)) {
  setObjectName("Form1");
  setWindowTitle("Tessaline " TESSALINE_VERSION);
  setFont(GothicFont());
  setBackgroundRole(QPalette::Button);
  setAutoFillBackground(true);
  createControls();
  createLayout();
  setAcceptDrops(true);
}

void TForm1::createControls() {
  BitBtn1 = new QPushButton(this);
  BitBtn1->setObjectName("BitBtn1");
  BitBtn1->setIcon(MakeOpenPicture());
  BitBtn1->setIconSize(QSize(52, 18));
  connect(BitBtn1, &QPushButton::clicked, this, [this] { BitBtn1Click(); });

  BitBtn2 = new TMouseDownButton("50", this);
  BitBtn2->setObjectName("BitBtn2");
  BitBtn2->setFont(CenturyFont());
  connect(BitBtn2, &TMouseDownButton::MouseDown, this, [this] { BitBtn2MouseDown(); });

  BitBtn3 = new TMouseDownButton(this);
  BitBtn3->setObjectName("BitBtn3");
  BitBtn3->setIcon(MakeAboutPicture());
  BitBtn3->setIconSize(QSize(18, 18));
  connect(BitBtn3, &TMouseDownButton::MouseDown, this, [this] { BitBtn3MouseDown(); });

  Memo1 = MakeMemo(this, "Memo1");
  Memo1->setPlainText("Hello!");
  Memo2 = MakeMemo(this, "Memo2");  // created after Memo1, so it lies over it
  for (const char* line : kAboutText) Memo2->appendPlainText(line);
  Memo2->moveCursor(QTextCursor::Start);
  Memo2->setVisible(false);

  OpenDialog1 = new QFileDialog(this);
  OpenDialog1->setObjectName("OpenDialog1");
  // Qt's own dialog: the same flow on every desktop, and one that tests can drive.
  OpenDialog1->setOption(QFileDialog::DontUseNativeDialog);
  OpenDialog1->setFileMode(QFileDialog::ExistingFile);
  OpenDialog1->setAcceptMode(QFileDialog::AcceptOpen);
}

void TForm1::createLayout() {
  move(394, 114);
  resize(346, 282);
  BitBtn1->setGeometry(0, 0, 65, 25);
  BitBtn2->setGeometry(67, 0, 46, 25);
  BitBtn3->setGeometry(304, 0, 33, 25);
  Memo1->setGeometry(1, 24, 336, 230);
  Memo2->setGeometry(1, 27, 336, 230);
  setTabOrder(BitBtn1, BitBtn2);
  setTabOrder(BitBtn2, BitBtn3);
  setTabOrder(BitBtn3, Memo1);
  setTabOrder(Memo1, Memo2);
  FormResize();
}

QSize TForm1::OuterSize() const {
  const QRect frame = frameGeometry();
  return frame.size().isValid() && frame.size() != QSize(0, 0) ? frame.size() : size();
}

void TForm1::SetOuterSize(QSize Outer) {
  const QSize frame = OuterSize() - size();
  resize(Outer - frame);
}

void TForm1::showEvent(QShowEvent* Event) {
  QWidget::showEvent(Event);
  if (FShown) return;
  FShown = true;
  // The designed bounds are outer ones; the frame is known once the window is shown.
  SetOuterSize(QSize(346, 282));
  move(394, 114);
}

void TForm1::resizeEvent(QResizeEvent* Event) {
  QWidget::resizeEvent(Event);
  FormResize();
}

void TForm1::FormResize() {
  const QSize outer = OuterSize();
  Memo1->resize(outer.width() - 18, outer.height() - 60);
  Memo2->resize(outer.width() - 18, outer.height() - 60);
}

void TForm1::BitBtn2MouseDown() {
  static const char* const kCycle[][2] = {{"50", "100"},  {"100", "200"}, {"200", "300"},
                                          {"300", "400"}, {"400", "500"}, {"500", "50"}};
  bool ok = false;
  const int value = BitBtn2->text().toInt(&ok);
  for (const auto& step : kCycle)
    if (ok && value == QString(step[0]).toInt()) {
      BitBtn2->setText(step[1]);
      return;
    }
}

void TForm1::BitBtn3MouseDown() { Memo2->setVisible(!Memo2->isVisible()); }

void TForm1::BitBtn1Click() {
  Guarded([this] { OpenAndReport(); });
}

void TForm1::Guarded(const std::function<void()>& Action) {
  try {
    Action();
  } catch (const std::exception& e) {
    QMessageBox::critical(this, "Tessaline", QString::fromLocal8Bit(e.what()));
  } catch (...) {
    QMessageBox::critical(this, "Tessaline", "An unknown error ended the action.");
  }
}

std::string TForm1::DialogFileName() const {
  const QStringList files = OpenDialog1->selectedFiles();
  return files.isEmpty() ? std::string() : QFile::encodeName(files.first()).toStdString();
}

void TForm1::OpenAndReport() {
  OpenDialog1->setNameFilter("FIFF files (*.fif)");
  const int result = OpenDialog1->exec();
  CloseDialogPopups();
  if (result != QDialog::Accepted) return;
  ReportFile(DialogFileName());
}

void TForm1::ChooseFile(const std::string& FileName) {
  Guarded([this, &FileName] { ReportFile(FileName); });
}

void TForm1::ReportFile(const std::string& FileName) {
  FFileName = FileName;
  TInput in = OpenInput(FFileName, TReadRules{});  // the window's rules: FIFF 1.1, no .gz
  if (!in.Reader) {
    Memo1->appendPlainText(kNotFiffLine);
    return;
  }
  ShowSummary(*in.Reader);
  in.Reader.reset();  // one reader at a time: this one goes before the second reading
  if (FBeforeReload) FBeforeReload();
  ReloadAndConvert();
}

void TForm1::ShowSummary(TFiff& Reader) {
  Memo1->clear();
  for (const std::string& line : MakeSummary(Reader, FSeparators)) Memo1->appendPlainText(QString::fromLocal8Bit(line));
}

void TForm1::ReloadAndConvert() {
  const std::string name = FFileName;
  std::error_code ec;
  if (name.empty() || !std::filesystem::exists(name, ec)) return;
  TInput in = OpenInput(name, TReadRules{});
  if (!in.Reader) return;
  TFiff& reader = *in.Reader;
  ShowSummary(reader);

  bool ok = false;
  const QString caption = BitBtn2->text();
  const int megabytes = caption.toInt(&ok);
  if (!ok) throw std::runtime_error("'" + caption.toStdString() + "' is not a valid integer value");

  // The title shows the seconds written while a file's raw data are written; the window's own
  // title comes back after each file, and however the conversion ends.
  struct TRestoreTitle {
    TForm1* Form;
    std::string Title;
    ~TRestoreTitle() { Form->SetCaption(Title); }
  } restore{this, windowTitle().toStdString()};
  std::string shown;
  ConvertFiff(reader, int64_t{megabytes} * 1'000'000, [&](const TConvertProgress& Progress) {
    if (!Progress.Note.empty()) return;  // the window's rules decode no triggers, the only notes
    if (Progress.RawDataDone) {
      SetCaption(restore.Title);
      shown.clear();
      return;
    }
    // Only a title that changes is set again, so tiny buffers cost no window traffic.
    std::string text = "saving..." + FormatFloat(Progress.SecondsWritten, "0.0", FSeparators) + "sec";
    if (text != shown) {
      SetCaption(text);
      shown = std::move(text);
    }
  });
  Memo1->appendPlainText(kConvertedLine);
}

namespace {

// The local path of a drop that is exactly one file named *.fif, else empty.
QString DroppedFiffFile(const QMimeData* Data) {
  if (!Data || !Data->hasUrls() || Data->urls().size() != 1 || !Data->urls().first().isLocalFile()) return {};
  const QString path = Data->urls().first().toLocalFile();
  return path.endsWith(".fif", Qt::CaseInsensitive) ? path : QString();
}

}  // namespace

void TForm1::dragEnterEvent(QDragEnterEvent* Event) {
  if (!DroppedFiffFile(Event->mimeData()).isEmpty()) Event->acceptProposedAction();
}

void TForm1::dropEvent(QDropEvent* Event) {
  const QString path = DroppedFiffFile(Event->mimeData());
  if (path.isEmpty()) return;
  Event->acceptProposedAction();
  // After the drop has finished, so the file manager is not held while the file converts.
  const std::string name = QFile::encodeName(path).toStdString();
  QMetaObject::invokeMethod(
      this, [this, name] { ChooseFile(name); }, Qt::QueuedConnection);
}

void TForm1::CloseDialogPopups() {
  // Enter in the name field closes the dialog but can leave its completion list on screen,
  // where it would stay through the conversion and swallow the next click.
  for (QCompleter* completer : OpenDialog1->findChildren<QCompleter*>())
    if (QAbstractItemView* popup = completer->popup(); popup && popup->isVisible()) popup->hide();
}

void TForm1::SetCaption(const std::string& Text) {
  setWindowTitle(QString::fromStdString(Text));
  // The event loop is busy converting: hand the title to the window system now.
  QGuiApplication::sync();
}
