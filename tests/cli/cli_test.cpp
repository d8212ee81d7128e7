// Runs the real quarrytab-cli executable and checks its output, messages and exit codes.
#include <gtest/gtest.h>

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>
#include <cstdio>
#include <random>

namespace {

struct Run {
    int exitCode;
    QByteArray out;
    QByteArray err;
};

Run RunCli(const QStringList& arguments, const QString& stdoutFile = {}) {
    QProcess process;
    if (!stdoutFile.isEmpty())
        process.setStandardOutputFile(stdoutFile);
    process.start(QStringLiteral(QUARRYTAB_CLI), arguments);
    EXPECT_TRUE(process.waitForFinished(120000));
    EXPECT_EQ(process.exitStatus(), QProcess::NormalExit);
    return {process.exitCode(), process.readAllStandardOutput(), process.readAllStandardError()};
}

class Cli : public ::testing::Test {
  protected:
    QString write(const QString& relative, const QByteArray& bytes) {
        const QString path = m_dir.filePath(relative);
        QDir().mkpath(QFileInfo(path).path());
        QFile file(path);
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(bytes);
        return path;
    }
    QString path(const QString& relative) const { return m_dir.filePath(relative); }

    QTemporaryDir m_dir;
};

TEST_F(Cli, ConvertsWithEveryOption) {
    const QString people = write("people.csv", "name\tage\r\nAnn\t30\r\n   \r\nO'Hara\t\r\n");
    const auto run = RunCli({"-t", "dbo", "-q", "[", "-d", "\\t", people});
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(run.out,
              "CREATE TABLE [dbo_people] ([fld1] text,[fld2] text);\r\n"
              "INSERT INTO [dbo_people] VALUES ('name','age');\r\n"
              "INSERT INTO [dbo_people] VALUES ('Ann','30');\r\n"
              "INSERT INTO [dbo_people] VALUES ('O''Hara','');\r\n");
    EXPECT_TRUE(run.err.isEmpty());

    const auto plain = RunCli({"--insert-only", "--no-semicolon", "-d", "", "-q", "", people});
    EXPECT_EQ(plain.exitCode, 0);
    EXPECT_TRUE(plain.out.startsWith("INSERT INTO Table1_people VALUES ('name\tage')\r\n"));
}

TEST_F(Cli, UsageErrorsExitWithTwo) {
    for (const QStringList& arguments :
         {QStringList{}, QStringList{"--no-such-option", "x"}, QStringList{"-d"}}) {
        const auto run = RunCli(arguments);
        EXPECT_EQ(run.exitCode, 2) << arguments.join(' ').toStdString();
        EXPECT_EQ(run.err.count('\n'), 1);
        EXPECT_TRUE(run.err.contains("--help"));
    }
    EXPECT_EQ(RunCli({"--help"}).exitCode, 0);
    EXPECT_EQ(RunCli({"--version"}).exitCode, 0);
}

TEST_F(Cli, AnUnreadableInputIsReportedAndTheOthersConverted) {
    const QString first = write("a.csv", "1\n");
    const QString last = write("c.csv", "3\n");
    const auto run = RunCli({"--insert-only", first, path("missing.csv"), m_dir.path(), last});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_TRUE(run.out.contains("'Table1_a' VALUES ('1')"));
    EXPECT_TRUE(run.out.contains("'Table1_c' VALUES ('3')"));
    EXPECT_TRUE(run.err.contains("cannot read '" + path("missing.csv").toUtf8() + "'"));
}

TEST_F(Cli, FolderArgumentsAreWalkedBreadthFirst) {
    write("in/b.csv", "b\n");
    write("in/A.csv", "a\n");
    write("in/~lock.csv", "skip\n");
    write("in/notes.txt", "txt\n");
    write("in/sub/deep.csv", "deep\n");
    write("in/sub/sub2/deeper.CSV", "deeper\n");
    const auto run = RunCli({"--insert-only", "--no-semicolon", "-e", "csv", path("in")});
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(run.out,
              "INSERT INTO 'Table1_A' VALUES ('a')\r\n"
              "INSERT INTO 'Table1_b' VALUES ('b')\r\n"
              "INSERT INTO 'Table1_deep' VALUES ('deep')\r\n"
              "INSERT INTO 'Table1_deeper' VALUES ('deeper')\r\n");
    const auto all = RunCli({"--insert-only", path("in")});
    EXPECT_TRUE(all.out.contains("'Table1_notes'"));
    EXPECT_FALSE(all.out.contains("skip"));

    // The output file is left out of a walk that finds it, run after run; named as an input it
    // is refused.
    for (int run = 0; run < 2; ++run) {
        EXPECT_EQ(RunCli({"-o", path("in/out.sql"), "-e", ".sql", path("in")}).exitCode, 1);
    }
    const auto self = RunCli({"-o", path("in/b.csv"), path("in/b.csv")});
    EXPECT_EQ(self.exitCode, 2);
    EXPECT_TRUE(self.err.contains("both an input and the output")) << self.err.toStdString();
    QFile b(path("in/b.csv"));
    ASSERT_TRUE(b.open(QIODevice::ReadOnly));
    EXPECT_EQ(b.readAll(), "b\n");
    // So is the rejects file as an input or as the output; a walk leaves it out.
    const auto rejectsIn = RunCli({"--rejects", path("in/b.csv"), path("in/b.csv")});
    EXPECT_EQ(rejectsIn.exitCode, 2);
    EXPECT_TRUE(rejectsIn.err.contains("both an input and the rejects file"))
        << rejectsIn.err.toStdString();
    const auto rejectsOut = RunCli({"--rejects", path("o.sql"), "-o", path("o.sql"), path("in")});
    EXPECT_EQ(rejectsOut.exitCode, 2);
    EXPECT_TRUE(rejectsOut.err.contains("name the same file")) << rejectsOut.err.toStdString();
    const auto walked = RunCli({"--insert-only", "--rejects", path("in/rejects.csv"), path("in")});
    EXPECT_EQ(walked.exitCode, 0);
    EXPECT_FALSE(RunCli({"--insert-only", "--rejects", path("in/rejects.csv"), path("in")})
                     .out.contains("Table1_rejects"));

    // Two files whose tables a database takes for one: nothing written, with exit status 1.
    write("shared/a/x.csv", "1\n");
    write("shared/b/x.csv", "2\n");
    const auto shared = RunCli({"--dialect", "sqlite", path("shared")});
    EXPECT_EQ(shared.exitCode, 1);
    EXPECT_EQ(shared.out, "");
    EXPECT_TRUE(shared.err.contains("both load into table Table1_x")) << shared.err.toStdString();

    // A folder that gives no file is said to, with exit status 1.
    QDir().mkpath(path("none"));
    const auto none = RunCli({"-e", "csv", path("none")});
    EXPECT_EQ(none.exitCode, 1);
    EXPECT_TRUE(none.err.contains("no file named *.csv")) << none.err.toStdString();
}

TEST_F(Cli, AwkwardInputsGiveNoCrashAndLoseNothing) {
    const QString empty = write("empty.csv", "");
    const auto emptyRun = RunCli({empty});
    EXPECT_EQ(emptyRun.out, "");
    EXPECT_EQ(emptyRun.exitCode, 0);
    EXPECT_TRUE(emptyRun.err.contains("empty.csv': no record; nothing converted"))
        << emptyRun.err.toStdString();
    // A header alone makes its table, and is said to.
    const auto headerRun = RunCli({"--csv", "--header", write("header.csv", "a,b\n")});
    EXPECT_EQ(headerRun.out, "CREATE TABLE 'Table1_header' ('a' text,'b' text);\r\n");
    EXPECT_TRUE(headerRun.err.contains("no record after its header; only the table definition"))
        << headerRun.err.toStdString();

    // A 50 MB line without a break.
    const QByteArray longLine(50 << 20, 'x');
    const auto longRun = RunCli({"--insert-only", write("long.csv", longLine)});
    EXPECT_EQ(longRun.exitCode, 0);
    EXPECT_EQ(longRun.out.size(), qsizetype(longLine.size() + 40));

    // Random bytes, NUL included: every byte but the line breaks reaches the output.
    QByteArray binary(1 << 16, '\0');
    std::mt19937 random(7);
    for (auto& byte : binary) byte = static_cast<char>(random() & 0xFF);
    const auto binaryRun = RunCli({"-d", "", "--insert-only", write("blob.bin", binary)});
    EXPECT_EQ(binaryRun.exitCode, 0);
    QByteArray kept = binary;
    kept.replace('\r', "").replace('\n', "").replace('\'', "");
    QByteArray got = binaryRun.out;
    got.replace("INSERT INTO 'Table1_blob' VALUES (", "").replace(");\r\n", "").replace('\'', "");
    EXPECT_EQ(got, kept);
}

TEST_F(Cli, OutputFileIsReplacedOnlyWhenComplete) {
    const QString input = write("a.csv", "1\n");
    const QString target = write("out.sql", "earlier\n");
    EXPECT_EQ(RunCli({"-o", target, input}).exitCode, 0);
    QFile out(target);
    ASSERT_TRUE(out.open(QIODevice::ReadOnly));
    EXPECT_EQ(out.readAll(),
              "CREATE TABLE 'Table1_a' ('fld1' text);\r\n"
              "INSERT INTO 'Table1_a' VALUES ('1');\r\n");

    const auto noFolder = RunCli({"-o", path("no/such/folder/out.sql"), input});
    EXPECT_EQ(noFolder.exitCode, 1);
    EXPECT_TRUE(noFolder.err.contains("cannot write"));
}

TEST_F(Cli, ARunStoppedPartWayLeavesTheOutputFileAsItWas) {
    const QString target = write("out.sql", "earlier\n");
    QProcess process;
    process.start(QStringLiteral(QUARRYTAB_CLI), {"-o", target, "-"});
    ASSERT_TRUE(process.waitForStarted());
    QByteArray part;
    for (int i = 0; i < 100000; ++i) part += "some,values,to,convert\n";
    process.write(part);
    ASSERT_TRUE(process.waitForBytesWritten(10000));
    // The converter now holds statements for what it read, waiting for the rest of its input.
    QThread::msleep(300);
    process.kill();
    process.waitForFinished();
    QFile out(target);
    ASSERT_TRUE(out.open(QIODevice::ReadOnly));
    EXPECT_EQ(out.readAll(), "earlier\n");
    EXPECT_EQ(QDir(m_dir.path()).entryList(QDir::Files), QStringList{"out.sql"});
}

TEST_F(Cli, RecordRulesReportWhatTheyFindAndFailWhereAsked) {
    // Standard input, named "stdin", with a ragged record reported and kept: a fault, since no
    // database takes its INSERT (exit status 1).
    QProcess process;
    process.start(QStringLiteral(QUARRYTAB_CLI), {"--insert-only", "--dialect", "sqlite", "-"});
    process.write("a,b\n1\n");
    process.closeWriteChannel();
    ASSERT_TRUE(process.waitForFinished());
    EXPECT_EQ(process.exitCode(), 1);
    EXPECT_EQ(process.readAllStandardOutput(),
              "INSERT INTO \"Table1_stdin\" VALUES ('a','b');\r\n"
              "INSERT INTO \"Table1_stdin\" VALUES ('1');\r\n");
    EXPECT_TRUE(process.readAllStandardError().contains("1 record with another field count"));

    // Typed columns from standard input: it is read once and kept for the second read, which
    // takes the rules --auto decided in the first; a wider record past --auto's sample widens
    // the table all the same. The statements equal those of the same bytes in a file.
    QByteArray typed = "id;amount\n";
    for (int i = 0; i < 20000; ++i) {
        typed += QByteArray::number(i) + ";" + QByteArray::number(i) + ".25\n";
    }
    typed += "20000;1.50;x\n";
    const QStringList typing{"--auto", "--types", "--dialect", "postgres", "-t", "t"};
    const auto fromFile = RunCli(QStringList(typing) << write("typed.csv", typed));
    EXPECT_EQ(fromFile.exitCode, 0) << fromFile.err.toStdString();
    EXPECT_TRUE(fromFile.out.startsWith(
        "SET client_encoding TO 'UTF8';\r\n"
        "CREATE TABLE \"t_typed\" (\"id\" BIGINT,\"amount\" NUMERIC,\"fld3\" TEXT);\r\n"))
        << fromFile.out.left(200).toStdString();
    QProcess piped;
    piped.start(QStringLiteral(QUARRYTAB_CLI), QStringList(typing) << "-");
    piped.write(typed);
    piped.closeWriteChannel();
    ASSERT_TRUE(piped.waitForFinished());
    EXPECT_EQ(piped.exitCode(), 0) << piped.readAllStandardError().toStdString();
    EXPECT_EQ(piped.readAllStandardOutput().replace("t_stdin", "t_typed"), fromFile.out);

    // --ragged fail: exit status 1, file and line named, the output file not replaced.
    const QString input = write("r.csv", "a,b\n1,2\n3\n");
    const QString target = write("out.sql", "earlier\n");
    const auto failed = RunCli({"--ragged", "fail", "-o", target, input});
    EXPECT_EQ(failed.exitCode, 1);
    EXPECT_TRUE(failed.err.contains("r.csv' line 3")) << failed.err.toStdString();
    QFile out(target);
    ASSERT_TRUE(out.open(QIODevice::ReadOnly));
    EXPECT_EQ(out.readAll(), "earlier\n");
    out.close();
    // With --rejects the record it stopped at is kept there, and the output is not replaced
    // either. A run that leaves nothing out empties the rejects file; from standard input its
    // records are named so.
    const QString rejects = write("rejects.csv", "earlier\n");
    const auto kept = RunCli({"--ragged", "fail", "-o", target, "--rejects", rejects, input});
    EXPECT_EQ(kept.exitCode, 1);
    EXPECT_TRUE(kept.err.contains("1 record left out written to")) << kept.err.toStdString();
    QFile left(rejects);
    ASSERT_TRUE(left.open(QIODevice::ReadOnly));
    EXPECT_EQ(left.readAll(), "# " + input.toUtf8() +
                                  " line 3: 1 field where the table has 2; the conversion stopped "
                                  "here (--ragged fail)\n3\n");
    left.close();
    ASSERT_TRUE(out.open(QIODevice::ReadOnly));
    EXPECT_EQ(out.readAll(), "earlier\n");
    out.close();
    EXPECT_EQ(RunCli({"-o", target, "--rejects", rejects, write("fine.csv", "1\n")}).exitCode, 0);
    EXPECT_EQ(QFileInfo(rejects).size(), 0);
    QProcess skipping;
    skipping.start(QStringLiteral(QUARRYTAB_CLI),
                   {"--ragged", "skip", "-o", target, "--rejects", rejects, "-"});
    skipping.write("a,b\n1\n");
    skipping.closeWriteChannel();
    ASSERT_TRUE(skipping.waitForFinished());
    ASSERT_TRUE(left.open(QIODevice::ReadOnly));
    EXPECT_EQ(left.readAll(),
              "# standard input line 2: 1 field where the table has 2; left out (--ragged "
              "skip)\n1\n");
    // To standard output, after more than a block of statements: what went out ends with a
    // whole statement.
    const auto stopped =
        RunCli({"--ragged", "fail", write("rr.csv", QByteArray("a,b\n").repeated(40000) + "x\n")});
    EXPECT_EQ(stopped.exitCode, 1);
    EXPECT_TRUE(stopped.out.endsWith("');\r\n")) << stopped.out.right(40).toStdString();

    // An open quote at the end: reported, its text kept, exit status 1.
    const auto open = RunCli({"--csv", "--insert-only", write("q.csv", "x,\"never closed\n")});
    EXPECT_EQ(open.exitCode, 1);
    EXPECT_TRUE(open.out.contains("'never closed\r\n'") || open.out.contains("'never closed\n'"));
    EXPECT_TRUE(open.err.contains("q.csv' line 1"));

    // Bytes the encoding cannot convert: counted as bytes (code units in UTF-16), each line
    // named once, and "..." only when more lines may hold some.
    const auto cp = RunCli({"--encoding", "windows-1252", write("w.csv", "a\n\x81\x81\n\x81\n")});
    EXPECT_TRUE(cp.err.contains("3 bytes are not valid windows-1252 (lines 2, 3);"))
        << cp.err.toStdString();
    const auto lone = RunCli({"--encoding", "utf-16le",
                              write("u.csv", QByteArray("\0\xDC"
                                                        "A\0",
                                                        4))});
    EXPECT_TRUE(lone.err.contains("1 UTF-16 code unit is not valid utf-16le (line 1)"))
        << lone.err.toStdString();

    // The default "," on a file it does not cut: a word of warning, the output unchanged.
    const auto doubt = RunCli({"--insert-only", write("s.csv", "a;b\n1;2\n")});
    EXPECT_EQ(doubt.exitCode, 0);
    EXPECT_TRUE(doubt.err.contains("another delimiter may be meant"));
}

#ifdef __linux__
TEST_F(Cli, NamesAndTextsThatAreNotUtf8PassUnchangedAndSkipsAreTold) {
    // QProcess takes QStrings, which cannot hold such bytes: a shell makes them instead.
    const QString script = QStringLiteral(
        "cd \"$1\" && mkdir d \"d/bad$(printf '\\001')dir\" && printf '1\\n' > \"d/caf$(printf "
        "'\\351').csv\" && "
        "printf '2\\n' > \"d/bad$(printf '\\001')dir/x.csv\" && "
        "\"$0\" --insert-only -t \"$(printf 'T\\351')\" \"d/caf$(printf '\\351').csv\" d");
    QProcess process;
    process.start("/bin/sh", {"-c", script, QStringLiteral(QUARRYTAB_CLI), m_dir.path()});
    ASSERT_TRUE(process.waitForFinished());
    EXPECT_EQ(process.exitCode(), 0);
    // The file named on the command line, then found by the walk of its folder.
    EXPECT_EQ(process.readAllStandardOutput(),
              "INSERT INTO 'T\xE9_caf\xE9' VALUES ('1');\r\n"
              "INSERT INTO 'T\xE9_caf\xE9' VALUES ('1');\r\n");
    // The folder with a control character in its name is left out of the walk, and said so.
    const QByteArray err = process.readAllStandardError();
    EXPECT_TRUE(err.contains("1 path was left out")) << err.toStdString();
    EXPECT_TRUE(
        err.contains("bad\x01"
                     "dir' (unsafe characters in its name)"));
    QProcess::execute("/bin/rm", {"-rf", m_dir.filePath("d")});
}

TEST_F(Cli, ClosedStandardStreamsAndLinksToNoFileAreTold) {
    // Without standard input, "-" is a failure, not a read of whatever took its place.
    QProcess closed;
    closed.start("/bin/sh", {"-c", "\"$0\" - <&-", QStringLiteral(QUARRYTAB_CLI)});
    ASSERT_TRUE(closed.waitForFinished());
    EXPECT_EQ(closed.exitCode(), 1);
    EXPECT_EQ(closed.readAllStandardError(),
              "quarrytab-cli: cannot read standard input: it is closed\n");

    write("links/a.csv", "1\n");
    ASSERT_TRUE(QFile::link(path("links/nowhere.csv"), path("links/b.csv")));
    const auto run = RunCli({"--insert-only", path("links")});
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_TRUE(run.err.contains("b.csv' (a link that leads to no file)")) << run.err.toStdString();
}

TEST_F(Cli, AFullDiskIsAFailure) {
    const QString input = write("a.csv", QByteArray(4 << 20, 'y'));
    const auto toFile = RunCli({"-o", "/dev/full", input});
    EXPECT_EQ(toFile.exitCode, 1);
    EXPECT_TRUE(toFile.err.contains("cannot write"));
    const auto toStdout = RunCli({input}, "/dev/full");
    EXPECT_EQ(toStdout.exitCode, 1);
    EXPECT_TRUE(toStdout.err.contains("cannot write"));
    // Records left out that cannot be kept: the output is not replaced either.
    const QString target = write("out.sql", "earlier\n");
    const auto rejects = RunCli(
        {"--ragged", "skip", "--rejects", "/dev/full", "-o", target, write("r.csv", "a,b\n1\n")});
    EXPECT_EQ(rejects.exitCode, 1);
    EXPECT_TRUE(rejects.err.contains("cannot write '/dev/full'")) << rejects.err.toStdString();
    QFile out(target);
    ASSERT_TRUE(out.open(QIODevice::ReadOnly));
    EXPECT_EQ(out.readAll(), "earlier\n");
}
#endif

}  // namespace
