#include "app/AboutDialog.h"

#include <QCoreApplication>
#include <QLabel>
#include <QLinearGradient>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>
#include <functional>

#include "app/logic/Ports.h"

namespace kv::app {

namespace {

constexpr QSize DialogSize{380, 206};

// A label that runs an action when clicked with the left button.
class TClickableLabel : public QLabel {
public:
    TClickableLabel(QWidget* Parent, std::function<void()> Action) : QLabel(Parent), m_action(std::move(Action)) {}

protected:
    void mousePressEvent(QMouseEvent* Event) override
    {
        if (Event->button() == Qt::LeftButton)
            Event->accept();  // so that the release comes here too
        else
            QLabel::mousePressEvent(Event);
    }
    void mouseReleaseEvent(QMouseEvent* Event) override
    {
        if (Event->button() == Qt::LeftButton && rect().contains(Event->position().toPoint()))
            m_action();
        QLabel::mouseReleaseEvent(Event);
    }

private:
    std::function<void()> m_action;
};

// The program's emblem: a film frame with a turning arrow.
QPixmap Emblem(int Size)
{
    QPixmap picture(Size, Size);
    picture.fill(Qt::transparent);
    QPainter p(&picture);
    p.setRenderHint(QPainter::Antialiasing);
    p.scale(Size / 64.0, Size / 64.0);
    QLinearGradient body(0, 4, 0, 60);
    body.setColorAt(0, QColor(0x5a, 0x9a, 0xdf));
    body.setColorAt(1, QColor(0x2a, 0x5f, 0x9e));
    p.setPen(QPen(QColor(0x1f, 0x4a, 0x7c), 1.5));
    p.setBrush(body);
    p.drawRoundedRect(QRectF(4, 8, 56, 48), 8, 8);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(255, 255, 255, 190));
    for (int i = 0; i < 4; ++i) {
        p.drawRoundedRect(QRectF(9, 13 + i * 10.5, 5, 5), 1, 1);
        p.drawRoundedRect(QRectF(50, 13 + i * 10.5, 5, 5), 1, 1);
    }
    p.setPen(QPen(Qt::white, 4, Qt::SolidLine, Qt::RoundCap));
    p.setBrush(Qt::NoBrush);
    p.drawArc(QRectF(20, 18, 24, 28), 40 * 16, 280 * 16);
    QPainterPath head;
    head.moveTo(41, 13);
    head.lineTo(47, 23);
    head.lineTo(36, 23);
    head.closeSubpath();
    p.fillPath(head, Qt::white);
    return picture;
}

}  // namespace

TAboutDialog::TAboutDialog(QWidget* Owner, const TSkin& Skin, IDesktop& Desktop) : QDialog(Owner)
{
    setWindowTitle(QCoreApplication::translate("kv::app::TAboutDialog", "关于系统"));
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
    setFixedSize(DialogSize);
    ApplySkin(*this, Skin);

    auto* emblem = new QLabel(this);
    emblem->setObjectName(QStringLiteral("imgEmblem"));
    emblem->setGeometry(20, 22, 64, 64);
    emblem->setPixmap(Emblem(64));

    // Its size and colour come from the skin's style sheet.
    auto* title = new QLabel(QStringLiteral("Kelvane V1.3"), this);
    title->setObjectName(QStringLiteral("lblProduct"));
    title->setGeometry(104, 18, 256, 30);

    m_text = new TClickableLabel(this, [&Desktop] { Desktop.OpenUrl(AboutUrl); });
    m_text->setObjectName(QStringLiteral("lblAbout"));
    m_text->setGeometry(104, 54, 256, 96);
    m_text->setWordWrap(true);
    m_text->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    // The address looks like a link; the whole text is what takes the click.
    m_text->setTextFormat(Qt::RichText);
    m_text->setTextInteractionFlags(Qt::NoTextInteraction);
    m_text->setText(QCoreApplication::translate("kv::app::TAboutDialog", "视频格式批量转换工具<br>"
                                                                         "适合手机、MP4播放器、PSP和电脑播放<br>"
                                                                         "版本 1.3<br>"
                                                                         "官方网站：<a href=\"%1\">%1</a>")
                        .arg(AboutUrl));
    m_text->setCursor(Qt::PointingHandCursor);
    m_text->setToolTip(
        QCoreApplication::translate("kv::app::TAboutDialog", "欢迎访问我们的网站，获取新版本和使用帮助"));

    m_close = new QPushButton(QCoreApplication::translate("kv::app::TAboutDialog", "退 出"), this);
    m_close->setObjectName(QStringLiteral("btnClose"));
    m_close->setGeometry(DialogSize.width() - 112, DialogSize.height() - 44, 92, 28);
    m_close->setDefault(true);
    connect(m_close, &QPushButton::clicked, this, &QDialog::accept);

    if (Owner) {
        const QRect owner = Owner->frameGeometry();
        move(owner.center() - QPoint(DialogSize.width() / 2, DialogSize.height() / 2));
    }
}

}  // namespace kv::app
