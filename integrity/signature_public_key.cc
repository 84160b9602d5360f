#include "integrity/signature_public_key.h"

// Generated at build time from the key's PEM file.
const SignaturePublicKey kSignaturePublicKey =
#include "integrity/signature_public_key_value.inc"
    ;
