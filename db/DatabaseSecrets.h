#pragma once
// The secrets a server name may carry (a password, a key's pass phrase: the
// options libpq itself marks secret) and their removal from whatever is
// shown. libpq and the server quote parts of the name in their messages, and
// a name libpq cannot read at all must not be shown either, so the secrets
// are found in the text as written, whether libpq can read it or not.

#include <string>
#include <vector>

// Whether libpq treats the option of this keyword as secret.
bool IsSecretKeyword(const std::string& keyword);

// Every secret value of a server name, as written (percent-encoded, quoted)
// and as libpq reads it; empty for a file path or a name without secrets.
std::vector<std::string> SecretValues(const std::string& name);

// The name with every secret option left out (a URI stays a URI, a
// key=value text stays one); for a name libpq cannot read too.
std::string NameWithoutSecrets(const std::string& name);

// `text` (a message of libpq or of the server) with every secret of `name`
// replaced by "****".
std::string WithoutSecrets(std::string text, const std::vector<std::string>& secrets);
