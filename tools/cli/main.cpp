// lanfinder-cli: scan for devices and configure them from a terminal or a
// script.

#include <iostream>
#include <streambuf>
#include <string>
#include <vector>

#include "apply_command.h"
#include "cards.h"
#include "client.h"
#include "commands.h"
#include "exit_codes.h"
#include "options.h"
#include "password.h"

namespace {

class null_buffer : public std::streambuf {
protected:
    int overflow(int c) override { return traits_type::not_eof(c); }
};

std::string joined(const std::vector<std::string>& names) {
    std::string text;
    for (const auto& name : names) {
        text += (text.empty() ? "" : ", ") + name;
    }
    return text.empty() ? "none" : text;
}

cli::credentials read_credentials(const cli::options& o) {
    cli::credentials login;
    if (!o.user) {
        return login;
    }
    login.user = *o.user;
    login.password =
        o.password_stdin
            ? cli::read_password_line(std::cin)
            : cli::prompt_password("Password for " + login.user +
                                   (o.device_id.empty() ? "" : " on " + o.device_id) + ": ");
    return login;
}

int run(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    cli::options o;
    try {
        o = cli::parse_options(args);
    } catch (const cli::usage_error& e) {
        err << "lanfinder-cli: " << e.what() << "\n";
        return cli::exit_usage;
    }
    if (o.help) {
        out << cli::usage_text(o.what);
        return cli::exit_success;
    }

    // The library reports every bind and send on standard output, which here
    // belongs to the table or the JSON lines.
    static null_buffer nowhere;
    std::cout.rdbuf(o.verbose ? std::cerr.rdbuf() : &nowhere);
    cli::show_card_query_messages(o.verbose);

    cli::credentials login;
    try {
        login = read_credentials(o);
    } catch (const cli::usage_error& e) {
        err << "lanfinder-cli: " << e.what() << "\n";
        return cli::exit_usage;
    }

    const auto addresses = cli::usable_addresses(o.interface_name);
    if (addresses.empty()) {
        if (o.interface_name.empty()) {
            err << "lanfinder-cli: no wired Ethernet card is up with an IPv4 address\n";
        } else {
            err << "lanfinder-cli: no usable card \"" << o.interface_name
                << "\" (a wired Ethernet card that is up with an IPv4 address; usable: "
                << joined(cli::usable_card_names()) << ")\n";
        }
        return cli::exit_no_card;
    }

    try {
        cli::client net(addresses);
        switch (o.what) {
            case cli::command::scan:
                return cli::run_scan(net, o, out, err);
            case cli::command::set:
                return cli::run_set(net, o, login, out, err);
            case cli::command::localize:
                return cli::run_localize(net, o, login, out, err);
            case cli::command::apply:
                return cli::run_apply(net, o, login, out, err);
            case cli::command::none:
                break;
        }
    } catch (const cli::bind_failure& e) {
        err << "lanfinder-cli: " << e.what() << "\n";
        return cli::exit_no_card;
    }
    return cli::exit_usage;
}

}  // namespace

int main(int argc, char** argv) {
    std::ostream out(std::cout.rdbuf());
    const int code = run(std::vector<std::string>(argv + 1, argv + argc), out, std::cerr);
    out.flush();
    // The library's stream must not point at a buffer that is gone.
    std::cout.rdbuf(out.rdbuf());
    return code;
}
