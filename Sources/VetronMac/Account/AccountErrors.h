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
    enum class Case { invalidCode, rejected, randomFailure, alreadyActivated, missingCredential };

    explicit ActivationError(Case which);
    Case which() const noexcept { return m_case; }

private:
    Case m_case;
};

} // namespace Vetron
