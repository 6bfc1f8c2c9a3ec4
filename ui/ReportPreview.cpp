#include "ui/ReportPreview.h"

#include <QPaintEvent>
#include <QPainter>
#include <algorithm>
#include <cmath>

class ReportPreview::Sheet : public QWidget {
public:
    explicit Sheet(ReportPreview& owner) : owner_(owner) {}

protected:
    void paintEvent(QPaintEvent* e) override {
        QPainter p(this);
        p.setClipRect(e->rect());
        if (!owner_.pages_)
            return;
        p.setRenderHint(QPainter::Antialiasing);
        p.setRenderHint(QPainter::TextAntialiasing);
        p.setRenderHint(QPainter::SmoothPixmapTransform);
        const double scale = owner_.zoom_ / 100.0;
        p.scale(scale, scale);
        owner_.pages_->paintSheet(p, owner_.page_);
    }

private:
    ReportPreview& owner_;
};

ReportPreview::ReportPreview(QWidget* parent) : QScrollArea(parent), sheet_(new Sheet(*this)) {
    setObjectName(QStringLiteral("QRPreview1"));
    setBackgroundRole(QPalette::Dark);
    setAlignment(Qt::AlignCenter);
    setWidget(sheet_);
    setWidgetResizable(false);
    resizeSheet();
}

void ReportPreview::setPages(std::shared_ptr<const report::ReportPages> pages, int page) {
    pages_ = std::move(pages);
    page_ = -1;
    resizeSheet();
    setCurrentPage(page);
}

void ReportPreview::setCurrentPage(int page) {
    page = std::clamp(page, 0, std::max(0, pageCount() - 1));
    if (page == page_)
        return;
    page_ = page;
    sheet_->update();
    emit currentPageChanged(page_);
}

void ReportPreview::setZoom(int percent) {
    percent = std::clamp(percent, kMinZoom, kMaxZoom);
    if (percent == zoom_)
        return;
    zoom_ = percent;
    resizeSheet();
}

void ReportPreview::resizeSheet() {
    const QSizeF paper = pages_ ? report::paperSizeInDesign(pages_->document().format) : QSizeF(0, 0);
    const double scale = zoom_ / 100.0;
    sheet_->resize(std::max(1, int(std::ceil(paper.width() * scale))),
                   std::max(1, int(std::ceil(paper.height() * scale))));
    sheet_->update();
}
