// Calls into libbeacon.so: a credential survives encryption and decryption.
#include <beacon/beacon.h>

#include <iostream>

int main() {
    const std::string secret = "admin:1234";
    const bool same = dp::decrypt_credential(dp::encrypt_credential(secret)) == secret;
    std::cout << (same ? "round trip ok" : "round trip broken") << std::endl;
    return same ? 0 : 1;
}
