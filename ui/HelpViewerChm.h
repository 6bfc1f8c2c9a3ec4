#pragma once
// A compiled help file (".chm") read with chmlib: its pages, pictures and style sheets are
// files inside it, addressed by paths such as "/html/f001.htm" (case is ignored).
#include <QByteArray>
#include <QString>
#include <memory>

struct chmFile;

class HelpArchive {
public:
    // Null when the file is missing or is no compiled help file.
    static std::unique_ptr<HelpArchive> open(const QString& path);
    ~HelpArchive();
    HelpArchive(const HelpArchive&) = delete;
    HelpArchive& operator=(const HelpArchive&) = delete;

    bool contains(const QString& inside) const;
    // The file's bytes; empty when it is not there.
    QByteArray read(const QString& inside) const;
    // The page shown first: the default topic the compiler wrote, else index.htm(l) at the top.
    QString contentsPage() const;

private:
    explicit HelpArchive(chmFile* file) : file_(file) {}
    chmFile* file_;
};
