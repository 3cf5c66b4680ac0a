#pragma once

#include "Foundation/Error.h"

namespace Vetron {

class AccountError : public Error
{
public:
    enum class Case { credentialExpired, serverFailure };

    explicit AccountError(Case which);
    Case which() const noexcept { return m_case; }

private:
    Case m_case;
};

class DeviceCredentialError : public Error
{
public:
    enum class Case { notFound, invalidValue };

    explicit DeviceCredentialError(Case which);
    Case which() const noexcept { return m_case; }

private:
    Case m_case;
};

class ActivationError : public Error
{
public:
    // `unusableAnswer`: the server's answer would make a configuration that cannot work or is
    // unsafe to install (a host or user that ssh would misread, a port out of range, anything
    // but exactly one certificate).
    enum class Case { invalidCode, rejected, randomFailure, alreadyActivated, missingCredential, unusableAnswer };

    explicit ActivationError(Case which);
    Case which() const noexcept { return m_case; }

private:
    Case m_case;
};

} // namespace Vetron
