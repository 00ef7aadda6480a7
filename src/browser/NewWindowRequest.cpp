#include "NewWindowRequest.h"

#include <utility>

NewWindowRequest::NewWindowRequest(QString popupUrl, Settler settler, bool userGesture)
    : m_popupUrl(std::move(popupUrl))
    , m_settler(std::move(settler))
    , m_userGesture(userGesture)
{}

NewWindowRequest::~NewWindowRequest()
{
    settle();
}

void NewWindowRequest::withdraw()
{
    if (m_settled)
        return;
    m_settled = true;
    m_settler = {};
    if (m_withdrawnHandler)
        std::exchange(m_withdrawnHandler, {})();
}

void NewWindowRequest::settle()
{
    if (m_settled)
        return;
    m_settled = true;
    if (m_settler)
        std::exchange(m_settler, {})(m_cancel);
}
