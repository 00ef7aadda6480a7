#include "CdpTransport.h"

CdpTransport::~CdpTransport() = default;
