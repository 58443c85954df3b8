#include "uAbout.h"

#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QToolButton>
#include <QVBoxLayout>

#include "uGlobals.h"
#include "uMain.h"

namespace {

constexpr char AboutCaption[] = "About Tervalo";
constexpr char TitleText[] = "Tervalo";
constexpr char VersionText[] = "Version 0.04";
constexpr char SponsoredByText[] = "Sponsored by:";
constexpr char OkCaption[] = "&OK";

// The sponsors, by the name the redirect service knows them under.
// clang-format off
const struct {
    const char* RedirectName;
    const char* Caption;
} Sponsors[] = {
    {"sponsor1", "Sponsor 1"},
    {"sponsor2", "Sponsor 2"},
};
// clang-format on

} // namespace

TfAbout::TfAbout(std::function<void(const std::string& url)> openLink, QWidget* parent)
    : QDialog(parent)
    , FOpenLink(std::move(openLink))
{
    setObjectName("fAbout");
    setWindowTitle(AboutCaption);

    auto* picture = new QLabel;
    picture->setObjectName("imgLogo");
    picture->setPixmap(TervaloIcon().pixmap(64, 64));

    auto* title = new QLabel(TitleText);
    title->setObjectName("lblTitle");
    QFont titleFont = title->font();
    titleFont.setPointSizeF(titleFont.pointSizeF() * 1.8);
    titleFont.setBold(true);
    title->setFont(titleFont);

    auto* version = new QLabel(VersionText);
    version->setObjectName("lblVersion");

    auto* site = new QLabel(QStringLiteral("<a href=\"home\">%1</a>").arg(MakerSiteName));
    site->setObjectName("lblWebSite");
    site->setTextFormat(Qt::RichText);
    site->setTextInteractionFlags(Qt::LinksAccessibleByMouse | Qt::LinksAccessibleByKeyboard);
    connect(site, &QLabel::linkActivated, this, [this] { FOpenLink(MakerHomeURL); });

    auto* texts = new QVBoxLayout;
    texts->addWidget(title);
    texts->addWidget(version);
    texts->addWidget(site);
    auto* head = new QHBoxLayout;
    head->addWidget(picture);
    head->addLayout(texts, 1);

    auto* sponsoredBy = new QLabel(SponsoredByText);
    sponsoredBy->setObjectName("lblSponsoredBy");
    auto* logos = new QHBoxLayout;
    for (const auto& sponsor : Sponsors) {
        auto* logo = new QToolButton;
        logo->setObjectName(QStringLiteral("imgSponsor_%1").arg(sponsor.RedirectName));
        logo->setText(sponsor.Caption);
        logo->setMinimumSize(120, 40);
        logo->setCursor(Qt::PointingHandCursor);
        const std::string url = std::string(MakerRedirectURL) + sponsor.RedirectName;
        connect(logo, &QToolButton::clicked, this, [this, url] { FOpenLink(url); });
        logos->addWidget(logo);
    }
    logos->addStretch(1);

    auto* buttons = new QDialogButtonBox;
    QPushButton* ok = buttons->addButton(OkCaption, QDialogButtonBox::AcceptRole);
    ok->setObjectName("btnOK");
    ok->setDefault(true);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(head);
    layout->addSpacing(12);
    layout->addWidget(sponsoredBy);
    layout->addLayout(logos);
    layout->addStretch(1);
    layout->addWidget(buttons);
    setFixedSize(sizeHint().expandedTo(QSize(360, 240)));
}
