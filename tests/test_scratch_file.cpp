#include "base/errors.h"
#include "net/scratch_file.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <cerrno>
#include <cstring>

namespace {

QString reason(int error) {
    return QString::fromLocal8Bit(std::strerror(error));
}

QByteArray contentOf(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

class ScratchFileTest : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_TRUE(dir.isValid()); }
    QString folder() const { return dir.path() + QLatin1Char('/'); }
    QTemporaryDir dir;
};

TEST_F(ScratchFileTest, NewContentReplacesOlderLongerContent) {
    {
        QFile old(folder() + QStringLiteral("youtube.0"));
        ASSERT_TRUE(old.open(QIODevice::WriteOnly));
        old.write(QByteArray(10000, 'o'));
    }
    ScratchFile file(folder(), QStringLiteral("youtube.0"));
    file.write("new", 3);
    file.write(" body", 5);
    file.close();
    EXPECT_FALSE(file.isOpen());
    EXPECT_EQ(ScratchFile::readAll(file.path()), "new body");
}

TEST_F(ScratchFileTest, StaysInTheGivenFolderWhateverTheCurrentDirectory) {
    QTemporaryDir elsewhere;
    const QString previous = QDir::currentPath();
    ASSERT_TRUE(QDir::setCurrent(elsewhere.path()));
    for (const char* name : {"v.0", "youtube.0", "default.0"}) {
        SCOPED_TRACE(name);
        ScratchFile file(folder(), QString::fromLatin1(name));
        file.write(name, qsizetype(std::strlen(name)));
        file.close();
        EXPECT_EQ(file.path(), folder() + QString::fromLatin1(name));
        EXPECT_EQ(contentOf(file.path()), name);
        EXPECT_FALSE(QFile::exists(elsewhere.filePath(QString::fromLatin1(name))));
    }
    EXPECT_EQ(ScratchFile::executableFolder(),
              QCoreApplication::applicationDirPath() + QLatin1Char('/'));
    QDir::setCurrent(previous);
}

TEST_F(ScratchFileTest, FailuresNameThePathAndTheSystemReason) {
    ASSERT_TRUE(QDir(dir.path()).mkdir(QStringLiteral("default.0")));
    const QString missingFolder = folder() + QStringLiteral("missing/");
    struct Case {
        QString folder;
        QString name;
        int error;
    };
    const Case cases[] = {
        {missingFolder, QStringLiteral("v.0"), ENOENT},
        {folder(), QStringLiteral("default.0"), EISDIR},
    };
    for (const Case& c : cases) {
        const QString path = c.folder + c.name;
        SCOPED_TRACE(path.toStdString());
        try {
            ScratchFile file(c.folder, c.name);
            ADD_FAILURE() << "created";
        } catch (const FetchError&) {
            ADD_FAILURE() << "a file that cannot be created is no fetch failure";
        } catch (const AppError& e) {
            EXPECT_EQ(e.message(),
                      QStringLiteral("Cannot create file \"%1\". %2").arg(path, reason(c.error)));
        }
    }
    const QString absent = folder() + QStringLiteral("youtube.0");
    try {
        ScratchFile::readAll(absent);
        ADD_FAILURE() << "read a missing file";
    } catch (const AppError& e) {
        EXPECT_EQ(e.message(),
                  QStringLiteral("Cannot open file \"%1\". %2").arg(absent, reason(ENOENT)));
    }
}

TEST_F(ScratchFileTest, ReadingBackNeverTakesMoreThanTheLimit) {
    ScratchFile file(folder(), QStringLiteral("youtube.0"));
    file.write("0123456789", 10);
    file.close();
    EXPECT_EQ(ScratchFile::readAll(file.path(), 10), "0123456789");
    try {
        ScratchFile::readAll(file.path(), 9);
        ADD_FAILURE() << "read past the limit";
    } catch (const AppError& e) {
        EXPECT_EQ(e.message(),
                  QStringLiteral("Cannot open file \"%1\". %2").arg(file.path(), reason(EFBIG)));
    }
}

TEST_F(ScratchFileTest, KeptCopyHoldsExactlyTheBytesOfTheFile) {
    {
        QFile old(folder() + QStringLiteral("youtube.0"));
        ASSERT_TRUE(old.open(QIODevice::WriteOnly));
        old.write(QByteArray(100, 'o'));
    }
    ScratchFile file(folder(), QStringLiteral("youtube.0"));
    file.keepCopy();
    file.write("dropped", 7);
    file.discard();
    EXPECT_EQ(file.size(), 0);
    EXPECT_EQ(contentOf(file.path()), "");
    file.write("kept", 4);
    file.write("\0bytes", 6);
    file.close();
    EXPECT_EQ(file.copy(), QByteArray("kept\0bytes", 10));
    EXPECT_EQ(contentOf(file.path()), file.copy());
}

TEST_F(ScratchFileTest, HeldExclusivelyWhileOpen) {
    ScratchFile holder(folder(), QStringLiteral("youtube.0"));
    holder.write("mine", 4);
    try {
        ScratchFile second(folder(), QStringLiteral("youtube.0"));
        ADD_FAILURE() << "opened twice";
    } catch (const AppError& e) {
        EXPECT_EQ(e.message(), QStringLiteral("Cannot create file \"%1\". %2")
                                   .arg(holder.path(), reason(EWOULDBLOCK)));
    }
    // The refused opener must not have cut the holder's content.
    EXPECT_EQ(contentOf(holder.path()), "mine");
    holder.close();
    ScratchFile again(folder(), QStringLiteral("youtube.0"));
    again.close();  // nothing written: an empty file
    EXPECT_EQ(contentOf(again.path()), "");
}

TEST_F(ScratchFileTest, FullDiskIsAFetchFailure) {
    if (!QFile::exists(QStringLiteral("/dev/full")))
        GTEST_SKIP() << "no /dev/full";
    ScratchFile full(QStringLiteral("/dev/"), QStringLiteral("full"));
    try {
        full.write("x", 1);
        ADD_FAILURE() << "write succeeded";
    } catch (const FetchError& e) {
        EXPECT_TRUE(e.message().contains(reason(ENOSPC))) << e.what();
    }
}

}  // namespace
