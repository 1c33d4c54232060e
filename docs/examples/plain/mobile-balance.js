// Example Mobile keeps the account's figures in the page as data for its own script:
//   var account = {"number": "5550123", "credit": {"amount": "18.35", ...}, ...};
// A pattern script returns what the groups of a regular expression would give, one a line:
// the whole match, the units, the separator and the hundredths.
function read_account(page) {
    var found = /var account = (\{.*?\});/.exec(page);
    return found ? JSON.parse(found[1]) : null;
}

function get_balance(page) {
    var account = read_account(page);
    if (!account) {
        alert("no account data in the page");
        return "";
    }
    var amount = /^(-?\d+)\.(\d\d)$/.exec(account.credit.amount);
    if (!amount)
        return "";
    return [amount[0], amount[1], ".", amount[2]].join("\n");
}
