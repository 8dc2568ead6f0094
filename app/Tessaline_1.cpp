// The program's entry: the application, the one main window Form1, and the event loop.
#include <QApplication>
#include <QLocale>

#include "Tessaline_1f.h"
#include "interrupt_cleanup.h"

int main(int argc, char* argv[]) {
  QApplication app(argc, argv);
  InstallInterruptCleanup(nullptr);  // a logout's SIGTERM during a conversion leaves no half-written file
  QApplication::setApplicationName("Tessaline");
  QApplication::setWindowIcon(QIcon(MakeAboutPicture()));
  // The separators of the number pictures, read once from the user's locale.
  const QLocale locale = QLocale::system();
  TNumberSeparators separators;
  if (!locale.decimalPoint().isEmpty()) separators.Decimal = locale.decimalPoint().toStdString();
  if (!locale.groupSeparator().isEmpty()) separators.Thousands = locale.groupSeparator().toStdString();
  TForm1 form(separators);
  Form1 = &form;
  form.show();
  const int code = app.exec();
  Form1 = nullptr;
  return code;
}
