#pragma once

#include <QStringView>

#include <memory>

struct psl_ctx_st;

// The public suffix list ("com", "co.uk", "github.io", ...) as libpsl knows it, to find the registrable
// domain of a host: the part a site owner registered, below which no entry may reach up to a parent host.
class PublicSuffixList {
public:
    PublicSuffixList();
    ~PublicSuffixList();
    PublicSuffixList(const PublicSuffixList&) = delete;
    PublicSuffixList& operator=(const PublicSuffixList&) = delete;

    // The trailing part of a lower-case host (ASCII or punycode) that is its registrable domain: "shop.co.uk"
    // for "www.shop.co.uk"; empty for a public suffix itself ("co.uk", "uk") or a host no rule applies to.
    QStringView registrableDomain(QStringView host) const;

private:
    QStringView registrableDomainOfUnicode(QStringView host) const;

    struct Free {
        void operator()(psl_ctx_st* rules) const;
    };

    // Filled only when libpsl was built without a list of its own and one had to be loaded.
    std::unique_ptr<psl_ctx_st, Free> m_loaded;
    const psl_ctx_st* m_rules = nullptr;
};
