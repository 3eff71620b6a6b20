// Drawings written by the program opened by independent DXF readers: the
// ezdxf library (read and audit) and LibreCAD (printed to PDF without a
// display). Each test is skipped, with a message, where its reader is missing.

#include "TestSupport.h"

#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <string>

namespace {

const std::string Program = FASSADENPLAN_EXE;

struct Outcome {
    int exitCode = -1;
    QString out;
};

Outcome run(const QString& program, const QStringList& args, int timeoutMs) {
    QProcess p;
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.start(program, args);
    Outcome o;
    if (!p.waitForStarted(10000))
        return o;
    if (!p.waitForFinished(timeoutMs)) {
        p.kill();
        p.waitForFinished(5000);
        o.out = QString::fromUtf8(p.readAll()) + "\n(timed out)";
        return o;
    }
    o.out = QString::fromUtf8(p.readAll());
    o.exitCode = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    return o;
}

class DxfReaders : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        s_dir = new QTemporaryDir;
        // The sample newspaper photograph, rectified and traced by the batch.
        s_drawing = s_dir->filePath("sudoku.dxf");
        s_empty = s_dir->filePath("empty.dxf");
        QTemporaryDir home;
        const auto r = testsupport::runProgram(
            Program,
            {"--threshold=20", std::string(FP_TEST_DATA_DIR) + "/sudoku.png", "72", "84", "492",
             "69", "520", "521", "35", "517", s_drawing.toStdString(), "30", "30"},
            {{"HOME", home.path().toStdString()},
             {"XDG_CONFIG_HOME", home.filePath("config").toStdString()}},
            s_dir->path().toStdString());
        s_made = r.exitCode == 0;
        s_why = r.err;
        // A blank rectified image gives a drawing without any polyline.
        const auto e = testsupport::runProgram(
            Program,
            {"--threshold=20", std::string(FP_TEST_DATA_DIR) + "/sudoku.png", "72", "84", "73",
             "84", "73", "85", "72", "85", s_empty.toStdString(), "30", "30"},
            {{"HOME", home.path().toStdString()},
             {"XDG_CONFIG_HOME", home.filePath("config").toStdString()}},
            s_dir->path().toStdString());
        s_made = s_made && e.exitCode == 0;
    }
    static void TearDownTestSuite() {
        delete s_dir;
        s_dir = nullptr;
    }
    void SetUp() override { ASSERT_TRUE(s_made) << s_why; }

    static int countOf(const QString& file, const QByteArray& what) {
        QFile f(file);
        return f.open(QIODevice::ReadOnly) ? static_cast<int>(f.readAll().count(what)) : -1;
    }

    static inline QTemporaryDir* s_dir = nullptr;
    static inline QString s_drawing;
    static inline QString s_empty;
    static inline bool s_made = false;
    static inline std::string s_why;
};

TEST_F(DxfReaders, EzdxfReadsAndAuditsWithoutErrors) {
    const QString python = QStringLiteral("/usr/bin/python3");
    if (!QFile::exists(python) || run(python, {"-c", "import ezdxf"}, 30000).exitCode != 0)
        GTEST_SKIP() << "ezdxf is not installed (Debian package python3-ezdxf)";
    const QString script = QStringLiteral(
        "import sys, ezdxf\n"
        "doc = ezdxf.readfile(sys.argv[1])\n"
        "audit = doc.audit()\n"
        "polys = doc.modelspace().query('POLYLINE')\n"
        "print('errors', len(audit.errors), 'fixes', len(audit.fixes), 'polylines', len(polys),\n"
        "      'open', sum(1 for p in polys if not p.is_closed),\n"
        "      'vertices', sum(len(p.vertices) for p in polys))\n"
        "sys.exit(1 if audit.has_errors else 0)\n");
    const Outcome o = run(python, {"-c", script, s_drawing}, 120000);
    ASSERT_EQ(o.exitCode, 0) << o.out.toStdString();
    const int polylines = countOf(s_drawing, "\r\nPOLYLINE\r\n");
    const int vertices = countOf(s_drawing, "\r\nVERTEX\r\n");
    ASSERT_GT(polylines, 10);
    EXPECT_TRUE(o.out.contains(QStringLiteral("errors 0 fixes 0 polylines %1 open 0 vertices %2")
                                   .arg(polylines)
                                   .arg(vertices)))
        << o.out.toStdString();
}

TEST_F(DxfReaders, LibreCadPrintsTheDrawing) {
    const QString librecad = QStandardPaths::findExecutable(QStringLiteral("librecad"));
    const QString xvfb = QStandardPaths::findExecutable(QStringLiteral("xvfb-run"));
    if (librecad.isEmpty() || xvfb.isEmpty())
        GTEST_SKIP() << "LibreCAD or xvfb-run is not installed (Debian packages librecad, xvfb)";
    // LibreCAD hangs on a file it cannot read; the timeout ends that.
    auto print = [&](const QString& dxf, const QString& pdf) {
        return run(xvfb, {"-a", librecad, "dxf2pdf", "-o", pdf, dxf}, 120000);
    };
    const QString pdf = s_dir->filePath("sudoku.pdf");
    const QString emptyPdf = s_dir->filePath("empty.pdf");
    const Outcome o = print(s_drawing, pdf);
    ASSERT_EQ(o.exitCode, 0) << o.out.toStdString();
    ASSERT_EQ(print(s_empty, emptyPdf).exitCode, 0);
    QFile f(pdf);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    const QByteArray bytes = f.readAll();
    EXPECT_TRUE(bytes.startsWith("%PDF"));
    // The polylines are in the page: far more than the empty drawing's page.
    EXPECT_GT(bytes.size(), 4 * QFile(emptyPdf).size());
}

} // namespace
