// SPDX-License-Identifier: MIT
#include "ResourceIcon.h"

#include "components/ComponentsLog.h"

#include <QApplication>
#include <QHash>
#include <QIconEngine>
#include <QImage>
#include <QPainter>
#include <QPixmap>
#include <QStyle>
#include <QStyleOption>
#include <QSvgRenderer>

#include <memory>

namespace {

// One resource picture: its document, read on first use, and the sizes rendered so far.
class Picture
{
public:
    explicit Picture(QString path)
        : m_path(std::move(path))
    {
    }

    QPixmap pixmap(const QSize &size, QIcon::Mode mode)
    {
        const quint64 key = (quint64(quint32(size.width())) << 34) | (quint64(quint32(size.height())) << 2) | mode;
        if (const auto found = m_rendered.constFind(key); found != m_rendered.cend())
            return found.value();
        QPixmap pm = render(size);
        // The other modes are the style's variations of the normal picture, as for any icon.
        if (!pm.isNull() && mode != QIcon::Normal && qobject_cast<QApplication *>(QCoreApplication::instance())) {
            QStyleOption option(0);
            option.palette = QGuiApplication::palette();
            const QPixmap generated = QApplication::style()->generatedIconPixmap(mode, pm, &option);
            if (!generated.isNull())
                pm = generated;
        }
        m_rendered.insert(key, pm);
        return pm;
    }

private:
    QPixmap render(const QSize &size)
    {
        if (!m_renderer) {
            m_renderer = std::make_unique<QSvgRenderer>(m_path);
            if (!m_renderer->isValid())
                qCWarning(lcComponents) << "A built-in picture cannot be read:" << m_path;
        }
        if (!m_renderer->isValid())
            return {};
        QSize actual = m_renderer->defaultSize();
        if (!actual.isNull())
            actual.scale(size, Qt::KeepAspectRatio);
        if (actual.isEmpty())
            return {};
        QImage image(actual, QImage::Format_ARGB32_Premultiplied);
        image.fill(0);
        QPainter painter(&image);
        m_renderer->render(&painter);
        painter.end();
        return QPixmap::fromImage(image);
    }

    QString m_path;
    std::unique_ptr<QSvgRenderer> m_renderer;
    QHash<quint64, QPixmap> m_rendered;
};

class ResourceIconEngine : public QIconEngine
{
public:
    explicit ResourceIconEngine(std::shared_ptr<Picture> picture)
        : m_picture(std::move(picture))
    {
    }

    QPixmap pixmap(const QSize &size, QIcon::Mode mode, QIcon::State) override { return m_picture->pixmap(size, mode); }

    QSize actualSize(const QSize &size, QIcon::Mode mode, QIcon::State state) override
    {
        return pixmap(size, mode, state).size();
    }

    void paint(QPainter *painter, const QRect &rect, QIcon::Mode mode, QIcon::State state) override
    {
        QSize size = rect.size();
        if (painter->device())
            size *= painter->device()->devicePixelRatio();
        painter->drawPixmap(rect, pixmap(size, mode, state));
    }

    QIconEngine *clone() const override { return new ResourceIconEngine(m_picture); }
    QString key() const override { return QStringLiteral("listra-resource"); }

private:
    std::shared_ptr<Picture> m_picture;
};

} // namespace

QIcon resourceIcon(const QString &name)
{
    // Icons are made and drawn on the window's thread only. The rendered pixmaps go with the
    // application, not after it.
    static QHash<QString, std::shared_ptr<Picture>> pictures;
    if (pictures.isEmpty())
        qAddPostRoutine([] { pictures.clear(); });
    std::shared_ptr<Picture> &picture = pictures[name];
    if (!picture)
        picture = std::make_shared<Picture>(QStringLiteral(":/res/") + name + QStringLiteral(".svg"));
    return QIcon(new ResourceIconEngine(picture));
}
