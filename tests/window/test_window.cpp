// The main window offscreen: start state, buttons, resize, and whole presses through the real dialog.
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QAbstractItemView>
#include <QApplication>
#include <QCompleter>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QMessageBox>
#include <QMimeData>
#include <QTimer>
#include <QtTest>

#include <filesystem>
#include <functional>

#include "Tessaline_1f.h"
#include "convert_helpers.h"
#include "interrupt_cleanup.h"
#include "summary_helpers.h"

namespace {

// Waits for the active modal widget of type T to appear and runs Action on it; fails after a
// minute, closing whatever is modal then, so a stuck dialog never hangs the run.
template <class T>
void WhenModal(std::function<void(T*)> Action) {
  auto* timer = new QTimer;
  auto* clock = new QElapsedTimer;
  clock->start();
  QObject::connect(timer, &QTimer::timeout, [=] {
    if (auto* w = qobject_cast<T*>(QApplication::activeModalWidget())) {
      timer->stop();
      timer->deleteLater();
      delete clock;
      Action(w);
    } else if (clock->elapsed() > 60000) {
      timer->stop();
      timer->deleteLater();
      delete clock;
      if (QWidget* m = QApplication::activeModalWidget()) m->close();
      QFAIL("the expected dialog did not appear");
    }
  });
  timer->start(10);
}

// Types the file's name into the dialog, as a user would, and accepts it; the dialog's
// folder model loads in the background, so selecting through the model would race it.
void Pick(QFileDialog* Dialog, const QString& Path) {
  const QFileInfo info(Path);
  Dialog->setDirectory(info.absolutePath());
  auto* edit = Dialog->findChild<QLineEdit*>("fileNameEdit");
  QVERIFY(edit != nullptr);
  edit->setText(info.fileName());
  static_cast<QDialog*>(Dialog)->accept();  // QFileDialog::accept, which checks the choice
}

// Presses BitBtn1 and chooses Path in the real dialog (an empty path cancels it).
void ChooseInDialog(TForm1& Form, const QString& Path) {
  WhenModal<QFileDialog>([Path](QFileDialog* d) {
    if (Path.isEmpty()) {
      d->reject();
      return;
    }
    Pick(d, Path);
  });
  QTest::mouseClick(Form.BitBtn1, Qt::LeftButton);
}

// What BitBtn1 runs once Path is chosen: the flow itself, with no dialog and no timer, so what it
// does is tested however busy the machine is.
void Choose(TForm1& Form, const QString& Path) { Form.ChooseFile(QFile::encodeName(Path).toStdString()); }

// The same for Path, returning the text of the message box that follows.
QString ChooseExpectingError(TForm1& Form, const QString& Path) {
  QString text;
  WhenModal<QMessageBox>([&text](QMessageBox* m) {
    text = m->text();
    m->accept();
  });
  Choose(Form, Path);
  return text;
}

QStringList MemoLines(const QPlainTextEdit* Memo) { return Memo->toPlainText().split('\n'); }

QStringList ToQt(const TLines& Lines) {
  QStringList out;
  for (const auto& l : Lines) out << QString::fromStdString(l);
  return out;
}

}  // namespace

class TWindowTest : public QObject {
  Q_OBJECT

 private slots:
  void StartState() {
    TForm1 form;
    form.show();
    QCOMPARE(form.windowTitle(), QString("Tessaline 1.1.0"));
    QCOMPARE(MemoLines(form.Memo1), QStringList{"Hello!"});
    QVERIFY(!form.Memo2->isVisible());
    QCOMPARE(form.BitBtn2->text(), QString("50"));
    QCOMPARE(form.pos(), QPoint(394, 114));
    QCOMPARE(form.OuterSize(), QSize(346, 282));
    QCOMPARE(form.BitBtn1->geometry(), QRect(0, 0, 65, 25));
    QCOMPARE(form.BitBtn2->geometry(), QRect(67, 0, 46, 25));
    QCOMPARE(form.BitBtn3->geometry(), QRect(304, 0, 33, 25));
    QCOMPARE(form.Memo1->geometry(), QRect(1, 24, 328, 222));
    QCOMPARE(form.Memo2->geometry(), QRect(1, 27, 328, 222));
    for (const char* name : {"BitBtn1", "BitBtn2", "BitBtn3", "Memo1", "Memo2", "OpenDialog1"})
      QVERIFY2(form.findChild<QObject*>(name) != nullptr, name);
    QCOMPARE(form.BitBtn1->text(), QString());
    QCOMPARE(form.BitBtn1->iconSize(), QSize(52, 18));
    QCOMPARE(form.BitBtn3->iconSize(), QSize(18, 18));
    QVERIFY(form.BitBtn2->font().bold());
    QCOMPARE(form.BitBtn2->font().pixelSize(), 19);
    QCOMPARE(form.font().pixelSize(), 12);
    // The tab order as designed.
    QCOMPARE(form.BitBtn1->nextInFocusChain(), static_cast<QWidget*>(form.BitBtn2));
    QCOMPARE(form.BitBtn2->nextInFocusChain(), static_cast<QWidget*>(form.BitBtn3));
    QCOMPARE(form.BitBtn3->nextInFocusChain(), static_cast<QWidget*>(form.Memo1));
    const QStringList about = MemoLines(form.Memo2);
    QCOMPARE(about.size(), 23);
    QCOMPARE(about[0], QString("*****About Tessaline*****"));
    QCOMPARE(about[8], QString("Raw data are saved as int16 in Scilab."));
    QCOMPARE(about[10], QString("  data=diag(CalXRnge(1:306))*double(raw_data(1:306,1:1000));"));
    QCOMPARE(about[12], QString("CalXRnge($) is sampling frequency."));
    QCOMPARE(about[21], QString(" "));
    QCOMPARE(about[22], QString(" "));
    QVERIFY(form.Memo1->verticalScrollBarPolicy() == Qt::ScrollBarAlwaysOn);
    QVERIFY(!form.Memo1->isReadOnly());
  }

  void SizeLimitCycle() {
    TForm1 form;
    form.show();
    const QStringList cycle{"100", "200", "300", "400", "500", "50"};
    for (const QString& next : cycle) {
      QTest::mousePress(form.BitBtn2, Qt::LeftButton);
      QTest::mouseRelease(form.BitBtn2, Qt::LeftButton);
      QCOMPARE(form.BitBtn2->text(), next);
    }
    QTest::mousePress(form.BitBtn2, Qt::RightButton);
    QCOMPARE(form.BitBtn2->text(), QString("100"));
    QTest::mousePress(form.BitBtn2, Qt::MiddleButton, Qt::ShiftModifier);
    QCOMPARE(form.BitBtn2->text(), QString("200"));
    // The keyboard does nothing.
    form.BitBtn2->setFocus();
    QTest::keyClick(form.BitBtn2, Qt::Key_Space);
    QTest::keyClick(form.BitBtn2, Qt::Key_Return);
    QCOMPARE(form.BitBtn2->text(), QString("200"));
    form.BitBtn2->setText("77");
    QTest::mousePress(form.BitBtn2, Qt::LeftButton);
    QCOMPARE(form.BitBtn2->text(), QString("77"));
  }

  void ResizeKeepsPositions() {
    TForm1 form;
    form.show();
    form.SetOuterSize(QSize(500, 400));
    QCOMPARE(form.OuterSize(), QSize(500, 400));
    QCOMPARE(form.Memo1->geometry(), QRect(1, 24, 482, 340));
    QCOMPARE(form.Memo2->geometry(), QRect(1, 27, 482, 340));
  }

  void AboutTogglesOverTheReport() {
    TForm1 form;
    form.show();
    form.Memo1->setPlainText("a\nb");
    QTest::mousePress(form.BitBtn3, Qt::LeftButton);
    QVERIFY(form.Memo2->isVisible());
    QTest::mousePress(form.BitBtn3, Qt::RightButton);
    QVERIFY(!form.Memo2->isVisible());
    QCOMPARE(form.Memo1->toPlainText(), QString("a\nb"));
    form.BitBtn3->setFocus();
    QTest::keyClick(form.BitBtn3, Qt::Key_Space);
    QVERIFY(!form.Memo2->isVisible());
  }

  void CancelChangesNothing() {
    TForm1 form;
    form.show();
    ChooseInDialog(form, "");
    QCOMPARE(MemoLines(form.Memo1), QStringList{"Hello!"});
    QCOMPARE(form.OpenDialog1->nameFilters(), QStringList{"FIFF files (*.fif)"});
  }

  void NotFiffAppendsALineEachTime() {
    TTempDir dir;
    WriteFileBytes(dir.File("a.fif"), TBytes(100, 1));
    TFiffBuilder(1, 3).Write(dir.File("b.fif"));
    TForm1 form;
    form.show();
    Choose(form, QString::fromStdString(dir.File("a.fif")));
    Choose(form, QString::fromStdString(dir.File("b.fif")));
    QCOMPARE(MemoLines(form.Memo1), (QStringList{"Hello!", "This is not FIFF file", "This is not FIFF file"}));
    QCOMPARE(ListDir(dir.Path()), std::string("a.fif b.fif"));
  }

  void UnopenableInputShowsAMessageAndTheWindowGoesOn() {
    TTempDir dir;
    const std::string fifo = dir.File("pipe.fif");
    QCOMPARE(::mkfifo(fifo.c_str(), 0600), 0);
    TForm1 form;
    form.show();
    const QString text = ChooseExpectingError(form, QString::fromStdString(fifo));
    QVERIFY2(text.contains(QString::fromStdString(fifo)), qPrintable(text));
    QCOMPARE(MemoLines(form.Memo1), QStringList{"Hello!"});
    QTest::mousePress(form.BitBtn2, Qt::LeftButton);
    QCOMPARE(form.BitBtn2->text(), QString("100"));
  }

  void SuccessfulRunShowsTheSummaryAndConverts() {
    TTempDir dir;
    TFiffBuilder b;
    b.Int(200, 2).Float(201, 100.0f);
    b.Channel({.Kind = 2}).Channel({.Scan = 2, .Kind = 2});
    for (int i = 0; i < 3; ++i) b.RawBuffer({static_cast<int16_t>(i), static_cast<int16_t>(-i), 7, 8});
    const std::string path = b.Write(dir.File("run.fif"));
    TForm1 form({",", "."});
    form.show();
    QStringList titles;
    connect(&form, &QWidget::windowTitleChanged, [&](const QString& t) { titles << t; });
    Choose(form, QString::fromStdString(path));
    QStringList expect = ToQt(SummaryOf(path, {",", "."}));
    expect << "<<<<<< converted fiff >>>>>>";
    QCOMPARE(MemoLines(form.Memo1), expect);
    QCOMPARE(titles, (QStringList{"saving...0,0sec", "saving...0,1sec", "Tessaline 1.1.0"}));
    const auto vars = ReadScilabFile(dir.File("run.dat"));
    QCOMPARE(FindOne(vars, "raw_data").Shorts, (std::vector<int16_t>{0, 0, 7, 8, 1, -1, 7, 8, 2, -2, 7, 8}));
    QCOMPARE(FindOne(vars, "CalXRnge").Reals, (std::vector<double>{1e6, 1e6, 100.0}));

    // A file that is not FIFF now appends below the closing line.
    WriteFileBytes(dir.File("junk.fif"), TBytes(30, 0));
    Choose(form, QString::fromStdString(dir.File("junk.fif")));
    expect << "This is not FIFF file";
    QCOMPARE(MemoLines(form.Memo1), expect);
  }

  void RealFilesThroughTheWindow() {
    TTempDir dir;
    TForm1 form;
    form.show();
    // 16-bit EEG: 33 channels, about 7.9 s at 1000 Hz.
    const std::string eeg = PatchedCopy("brainvision_test_bin_raw.fif", dir.Path());
    Choose(form, QString::fromStdString(eeg));
    QCOMPARE(MemoLines(form.Memo1).last(), QString("<<<<<< converted fiff >>>>>>"));
    const auto vars = ReadScilabFile(dir.File("brainvision_test_bin_raw.dat"));
    const TScilabVar& raw = FindOne(vars, "raw_data");
    QCOMPARE(raw.Rows, 33);
    QVERIFY(raw.Cols > 7800 && raw.Cols < 8000);
    const TScilabVar& cal = FindOne(vars, "CalXRnge");
    QCOMPARE(cal.Cols, 34);
    QCOMPARE(cal.Reals.back(), 1000.0);
    QCOMPARE(FindOne(vars, "ChInform").Cols, 33);

    // Float data are refused with a message naming the file; the summary stays, no output.
    const std::string bti = PatchedCopy("exported4D_linux_raw.fif", dir.Path());
    const QString text = ChooseExpectingError(form, QString::fromStdString(bti));
    QVERIFY2(text.contains(QString::fromStdString(bti)) && text.contains("data type 4"), qPrintable(text));
    QVERIFY2(text.contains("tessaline-convert converts them"), qPrintable(text));  // the way to convert it
    QVERIFY(MemoLines(form.Memo1).contains(",STI=2,???=248"));
    QVERIFY(!MemoLines(form.Memo1).contains("<<<<<< converted fiff >>>>>>"));
    QVERIFY(!std::filesystem::exists(dir.File("exported4D_linux_raw.dat")));

    Choose(form, QString::fromStdString(PatchedCopy("test-proj.fif", dir.Path())));
    const auto proj = ReadScilabFile(dir.File("test-proj.dat"));
    QCOMPARE(Names(proj), (std::vector<std::string>{"PCA_0001", "PCA_0002"}));
    QCOMPARE(FindOne(proj, "PCA_0001").Rows, 204);
    QCOMPARE(FindOne(proj, "PCA_0002").Rows, 102);

    // A helmet surface, fiducials without HPI slopes and a head-to-MRI transform hold nothing
    // the converter stores: each gives an empty data file and the closing line.
    for (const char* name : {"306m.fif", "fsaverage-fiducials.fif", "fsaverage-trans.fif"}) {
      const std::string path = PatchedCopy(name, dir.Path());
      Choose(form, QString::fromStdString(path));
      QCOMPARE(MemoLines(form.Memo1).last(), QString("<<<<<< converted fiff >>>>>>"));
      QVERIFY(ReadScilabFile(OutputBaseName(path) + ".dat").empty());
    }
  }

  void FileGoneBeforeTheSecondReading() {
    TTempDir dir;
    const std::string path = TFiffBuilder().Int(200, 1).RawBuffer({1, 2}).Write(dir.File("gone.fif"));
    const QStringList summary = ToQt(SummaryOf(path));
    TForm1 form;
    form.show();
    form.FBeforeReload = [&] { std::filesystem::remove(path); };
    Choose(form, QString::fromStdString(path));
    QCOMPARE(MemoLines(form.Memo1), summary);
    QCOMPARE(ListDir(dir.Path()), std::string());

    // Replaced by something that is not FIFF: the same, silently.
    TFiffBuilder().Int(200, 1).Write(path);
    const QStringList second = ToQt(SummaryOf(path));
    form.FBeforeReload = [&] { WriteFileBytes(path, TBytes(40, 0)); };
    Choose(form, QString::fromStdString(path));
    QCOMPARE(MemoLines(form.Memo1), second);
    QCOMPARE(ListDir(dir.Path()), std::string("gone.fif"));
  }

  void ConversionErrorKeepsTheWindowWorking() {
    TTempDir dir;
    const std::string path = TFiffBuilder().Int(200, 1).RawBuffer({1, 2}).Write(dir.File("in.fif"));
    std::filesystem::create_directory(dir.File("in.dat"));
    TForm1 form;
    form.show();
    const QString text = ChooseExpectingError(form, QString::fromStdString(path));
    QVERIFY2(text.contains(QString::fromStdString(dir.File("in.dat"))), qPrintable(text));
    QCOMPARE(MemoLines(form.Memo1), ToQt(SummaryOf(path)));
    QCOMPARE(ListDir(dir.Path()), std::string("in.dat in.fif"));
    QCOMPARE(form.windowTitle(), QString("Tessaline 1.1.0"));
    std::filesystem::remove(dir.File("in.dat"));
    Choose(form, QString::fromStdString(path));
    QCOMPARE(MemoLines(form.Memo1).last(), QString("<<<<<< converted fiff >>>>>>"));
  }

  void LargeInputIsSplitIntoASeries() {
    TTempDir dir;
    // Ten channels in 20,000-byte buffers, just over 50,000,000 bytes of data.
    TFiffBuilder b;
    b.Int(200, 10).Float(201, 1000.0f);
    std::vector<int16_t> samples(10000);
    for (int i = 0; i < 2600; ++i) {
      for (int k = 0; k < 10000; ++k) samples[k] = static_cast<int16_t>(i + k);
      b.RawBuffer(samples);
    }
    const std::string path = b.Write(dir.File("big.fif"));
    TForm1 form;
    form.show();
    QCOMPARE(form.BitBtn2->text(), QString("50"));
    Choose(form, QString::fromStdString(path));
    QCOMPARE(ListDir(dir.Path()), std::string("big.fif big_01.dat big_02.dat"));
    int64_t columns = 0;
    int expectBuffer = 0;
    for (const char* name : {"big_01.dat", "big_02.dat"}) {
      const auto vars = ReadScilabFile(dir.File(name));
      const TScilabVar& raw = FindOne(vars, "raw_data");
      QCOMPARE(raw.Rows, 10);
      columns += raw.Cols;
      for (int32_t col = 0; col < raw.Cols; col += 1000, ++expectBuffer)
        QCOMPARE(raw.Short(3, col), static_cast<int16_t>(expectBuffer + 3));
    }
    QCOMPARE(columns, int64_t{2600} * 1000);
    QCOMPARE(expectBuffer, 2600);
  }

  void CaptionShowsSecondsWrittenAndIsRestored() {
    TTempDir dir;
    TFiffBuilder b;
    b.Int(200, 2).Float(201, 4.0f);
    for (int i = 0; i < 3; ++i) b.RawBuffer(std::vector<int16_t>(10, static_cast<int16_t>(i)));
    const std::string path = b.Write(dir.File("in.fif"));
    TForm1 form({",", "."});
    form.show();
    QStringList titles;
    connect(&form, &QWidget::windowTitleChanged, [&](const QString& t) { titles << t; });
    Choose(form, QString::fromStdString(path));
    QCOMPARE(titles, (QStringList{"saving...1,3sec", "saving...2,5sec", "saving...3,8sec", "Tessaline 1.1.0"}));

    // In a series the title is the window's own again after each file.
    TFiffBuilder s;
    s.Int(200, 1).Float(201, 10.0f);
    for (int i = 0; i < 3; ++i) s.RawBuffer(std::vector<int16_t>(13'000'000, 1));  // 26 MB each
    const std::string series = s.Write(dir.File("series.fif"));
    titles.clear();
    Choose(form, QString::fromStdString(series));
    QCOMPARE(titles, (QStringList{"saving...1300000,0sec", "saving...2600000,0sec", "Tessaline 1.1.0",
                                  "saving...1300000,0sec", "Tessaline 1.1.0"}));
  }

  void NoPopupOfTheDialogOutlivesIt() {
    TTempDir dir;
    for (const char* name : {"run.fif", "run2.fif", "rest.fif"}) WriteFileBytes(dir.File(name), TBytes(30, 0));
    TForm1 form;
    form.show();
    bool typed = false;
    WhenModal<QFileDialog>([&](QFileDialog* d) {
      d->setDirectory(QString::fromStdString(dir.Path()));
      auto* edit = d->findChild<QLineEdit*>("fileNameEdit");
      QVERIFY(edit != nullptr);
      // Typed as a user types: the completion list opens once the folder has loaded.
      auto listShown = [edit] { return edit->completer() && edit->completer()->popup()->isVisible(); };
      for (int tries = 0; tries < 1200 && !listShown(); ++tries) {
        edit->clear();
        QTest::keyClicks(edit, "r");
        QTest::qWait(50);
      }
      if (!listShown()) {
        d->reject();
        QFAIL("the dialog showed no completion list");
      }
      QTest::keyClicks(QApplication::focusWidget(), "un.fif");
      QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
      typed = true;
    });
    QTest::mouseClick(form.BitBtn1, Qt::LeftButton);
    QVERIFY(typed);
    QVERIFY(!form.OpenDialog1->isVisible());
    QCOMPARE(QApplication::activePopupWidget(), nullptr);
    for (QCompleter* c : form.OpenDialog1->findChildren<QCompleter*>()) QVERIFY(!c->popup()->isVisible());
    QCOMPARE(MemoLines(form.Memo1), (QStringList{"Hello!", "This is not FIFF file"}));
  }

  void OneDroppedFiffFileRunsTheFlowAndOtherDropsAreIgnored() {
    TTempDir dir;
    TFiffBuilder b;
    b.Int(200, 1).Float(201, 100.0f).Channel({}).RawBuffer({1, 2, 3});
    const std::string path = b.Write(dir.File("run.fif"));
    b.Write(dir.File("other.fif"));
    WriteFileBytes(dir.File("notes.txt"), TBytes{'x'});
    TForm1 form;
    form.show();
    // Offers urls as a file manager does; true when the window takes the drag.
    auto drop = [&](const QList<QUrl>& Urls) {
      QMimeData mime;
      mime.setUrls(Urls);
      QDragEnterEvent enter(QPoint(50, 50), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
      enter.ignore();
      QApplication::sendEvent(&form, &enter);
      QDropEvent dropped(QPointF(50, 50), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
      dropped.ignore();
      QApplication::sendEvent(&form, &dropped);
      QCoreApplication::processEvents();
      return enter.isAccepted();
    };
    auto url = [&](const char* Name) { return QUrl::fromLocalFile(QString::fromStdString(dir.File(Name))); };
    QVERIFY(!drop({url("notes.txt")}));
    QVERIFY(!drop({url("run.fif"), url("other.fif")}));
    QVERIFY(!drop({QUrl("https://example.org/run.fif")}));
    QCOMPARE(MemoLines(form.Memo1), QStringList{"Hello!"});
    QCOMPARE(ListDir(dir.Path()), std::string("notes.txt other.fif run.fif"));

    QVERIFY(drop({url("run.fif")}));
    QStringList expect = ToQt(SummaryOf(path));
    expect << "<<<<<< converted fiff >>>>>>";
    QCOMPARE(MemoLines(form.Memo1), expect);
    TTempDir ref;
    const auto same = ConvertFile(b.Write(ref.File("run.fif")));
    QCOMPARE(ReadFileBytes(dir.File("run.dat")), ReadFileBytes(same.Files.at(0)));
  }

  void TheOpenButtonConvertsTheFileChosenInTheDialog() {
    TTempDir dir;
    TFiffBuilder b;
    b.Int(200, 1).Float(201, 10.0f).RawBuffer({1, 2, 3});
    const std::string path = b.Write(dir.File("run.fif"));
    TForm1 form;
    form.show();
    ChooseInDialog(form, QString::fromStdString(path));
    QCOMPARE(MemoLines(form.Memo1).last(), QString("<<<<<< converted fiff >>>>>>"));
    QCOMPARE(FindOne(ReadScilabFile(dir.File("run.dat")), "raw_data").Shorts, (std::vector<int16_t>{1, 2, 3}));
  }

  // Run as a child by the next test: converts the file named in the environment and raises
  // SIGTERM on itself as the third buffer is written, as a desktop's logout would.
  void ConvertUntilInterrupted() {
    const char* path = std::getenv("TESSALINE_INTERRUPT_INPUT");
    if (!path) QSKIP("runs as a child of InterruptedConversionLeavesNothing");
    InstallInterruptCleanup(nullptr);
    TForm1 form;
    int buffers = 0;
    connect(&form, &QWidget::windowTitleChanged, [&](const QString& t) {
      if (t.startsWith("saving") && ++buffers == 3) ::raise(SIGTERM);
    });
    Choose(form, path);
    QFAIL("the conversion was not interrupted");
  }

  void InterruptedConversionLeavesNothing() {
    TTempDir dir;
    TFiffBuilder b;
    b.Int(200, 1).Float(201, 10.0f);
    for (int i = 0; i < 10; ++i) b.RawBuffer({static_cast<int16_t>(i)});
    const std::string path = b.Write(dir.File("run.fif"));
    WriteFileBytes(dir.File("run.dat"), {9, 9});
    const std::string err = dir.File("stderr");
    std::fflush(nullptr);
    const pid_t pid = ::fork();
    if (pid == 0) {  // at once a fresh program: the test binary runs just the child's function
      ::setenv("TESSALINE_INTERRUPT_INPUT", path.c_str(), 1);
      ::signal(SIGTERM, SIG_DFL);  // as a desktop session starts the window
      if (!std::freopen(err.c_str(), "w", stderr) || !std::freopen("/dev/null", "w", stdout)) ::_exit(120);
      ::execl("/proc/self/exe", "window_tests", "ConvertUntilInterrupted", nullptr);
      ::_exit(121);
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    QVERIFY2(WIFSIGNALED(status), qPrintable(QString::number(status)));
    QCOMPARE(WTERMSIG(status), SIGTERM);
    QCOMPARE(ListDir(dir.Path()), std::string("run.dat run.fif stderr"));
    QCOMPARE(ReadFileBytes(dir.File("run.dat")), (TBytes{9, 9}));
    const TBytes said = ReadFileBytes(err);
    QVERIFY(std::string(said.begin(), said.end()).find("interrupted") == std::string::npos);  // the window says nothing
  }

  void FileShrunkDuringTheConversionIsAMessageAndNoOutput() {
    TTempDir dir;
    TFiffBuilder b;
    b.Int(200, 1).Float(201, 1000.0f).Channel({});
    for (int i = 0; i < 10; ++i) b.RawBuffer(std::vector<int16_t>(16384, static_cast<int16_t>(i)));
    const std::string path = b.Write(dir.File("run.fif"));
    TForm1 form;
    form.show();
    // Another program shortens the file once the first buffer is written.
    connect(&form, &QWidget::windowTitleChanged, [&](const QString& t) {
      if (t.startsWith("saving")) QCOMPARE(::truncate(path.c_str(), 50'000), 0);
    });
    const QString text = ChooseExpectingError(form, QString::fromStdString(path));
    QCOMPARE(text, QString::fromStdString("Cannot read \"" + path + "\": the file changed while it was being read"));
    QCOMPARE(ListDir(dir.Path()), std::string("run.fif"));
    QCOMPARE(form.windowTitle(), QString("Tessaline 1.1.0"));
    QTest::mousePress(form.BitBtn2, Qt::LeftButton);  // the window goes on
    QCOMPARE(form.BitBtn2->text(), QString("100"));
  }
};

QTEST_MAIN(TWindowTest)
#include "test_window.moc"
