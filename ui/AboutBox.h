#pragma once
// The about box: the product's name and version, the drive models the data folder holds,
// and the PC's memory in use, refreshed every second while the box is open. Created for one
// showing and freed after it.
//
// Use (the main window's About command):
//     AboutBox about(context, readMemoryStatus, &main);
//     about.exec();
#include "platform/MemoryStatus.h"

#include <QDialog>
#include <QString>
#include <functional>

class QComboBox;
class QFrame;
class QLabel;
class QProgressBar;
class QTimer;
class QTreeWidget;
struct ProgramContext;

class AboutBox : public QDialog {
    Q_OBJECT
public:
    static constexpr int kWidth = 304;
    static constexpr int kPanelHeight = 229;
    // The product name is made smaller until it is narrower than this, down to kMinPointSize.
    static constexpr int kProductNameMaxWidth = 141;
    static constexpr int kMinPointSize = 6;
    static constexpr int kRefreshMs = 1000;
    static inline const QString kVersionText = QStringLiteral("Ver.1.05");
    static inline const QString kCompanyLine = QStringLiteral("VELRODI");
    static inline const QString kToolLine = QStringLiteral("Inverter Set-up Tool");

    // Reads the data folder and the memory figures at once; readMemory is asked again at
    // every refresh.
    explicit AboutBox(const ProgramContext& context,
                      std::function<MemoryStatus()> readMemory = readMemoryStatus, QWidget* parent = nullptr);

    // The largest point size, from the font's own down to minPointSize, at which text is
    // narrower than maxWidth; minPointSize when none is.
    static int fittingPointSize(const QFont& font, const QString& text, int maxWidth, int minPointSize);

    // The memory figures from a new reading.
    void updateMemoryFigures();

    QFrame* panel = nullptr;              // "Panel1"
    QLabel* iconLabel = nullptr;          // "Image1"
    QLabel* productNameLabel = nullptr;   // "ProductName"
    QLabel* versionLabel = nullptr;       // "Label3"
    QLabel* companyLabel = nullptr;       // "CompanyName"
    QLabel* toolLabel = nullptr;          // "Label4"
    QLabel* modelsLabel = nullptr;        // "Label2"
    QComboBox* modelList = nullptr;       // "I_CpuVer"
    QLabel* loadLabel = nullptr;          // "Label1"
    QProgressBar* loadBar = nullptr;      // "pgsLoad"
    QLabel* physicalLabel = nullptr;      // "Label7"
    QProgressBar* physicalBar = nullptr;  // "pgsPhysical"
    QLabel* physicalTotalLabel = nullptr; // "lblPhysicalTotal"
    QLabel* physicalFreeLabel = nullptr;  // "lblPhysicalFree"
    QTreeWidget* folderTree = nullptr;    // "TreeView1", kept out of sight
    QTimer* refreshTimer = nullptr;       // "Timer1"

protected:
    void showEvent(QShowEvent* e) override;

private:
    void applyLanguage();
    void fillFolderTree(const QString& folder);
    void fitProductName();

    const ProgramContext& context_;
    std::function<MemoryStatus()> readMemory_;
    // The words after the memory figures, from the language file.
    QString totalText_ = QStringLiteral("KB Total");
    QString freeText_ = QStringLiteral("KB Free");
};
