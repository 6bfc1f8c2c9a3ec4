#pragma once
// The preview of a report: one page at a time at a zoom in percent (100 = one screen pixel
// per design unit), scrollable when larger than the view. It paints from the report's bands
// at every zoom, so a large zoom costs no memory.
#include "report/BandReport.h"

#include <QScrollArea>
#include <memory>

class ReportPreview : public QScrollArea {
    Q_OBJECT
public:
    static constexpr int kMinZoom = 2, kMaxZoom = 999;

    explicit ReportPreview(QWidget* parent = nullptr);

    // Shows these pages from the page given (kept within them).
    void setPages(std::shared_ptr<const report::ReportPages> pages, int page = 0);
    const report::ReportPages* pages() const { return pages_.get(); }
    int pageCount() const { return pages_ ? pages_->pageCount() : 0; }

    // 0-based; kept within the pages.
    void setCurrentPage(int page);
    int currentPage() const { return page_; }

    // Kept within kMinZoom..kMaxZoom.
    void setZoom(int percent);
    int zoom() const { return zoom_; }

signals:
    void currentPageChanged(int page);

private:
    class Sheet;
    void resizeSheet();

    std::shared_ptr<const report::ReportPages> pages_;
    Sheet* sheet_;
    int page_ = 0;
    int zoom_ = 100;
};
