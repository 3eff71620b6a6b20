#include <QApplication>
#include <QMainWindow>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName("Fassadenplan");
    QMainWindow w;
    w.setWindowTitle("Velkor Fassadenplan 1.0");
    w.show();
    return QApplication::exec();
}
