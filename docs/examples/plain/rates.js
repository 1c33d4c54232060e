// Example Rates: the buying and selling rates of a pretend exchange office. It publishes them as
// a text file: a first line naming the office and the day, then one currency a line,
//   USD;US dollar;1.0812;1.0968
// its code, its name, what the office pays for one unit and what it asks for one, in euros.

var RATES_URL = "http://rates.example/daily.txt";

function get_page_url() {
    return "http://rates.example/";
}

function get_country_code() {
    return "global";
}

function get_list_name() {
    return "Example Rates exchange office";
}

// The rates of the file as [{code, name, buy, sell}]. Throws when the file cannot be had or is
// not the office's, so that the run fails and the rates of the last run stay.
function read_rates() {
    if (!Request.get(RATES_URL))
        throw new Error("cannot download " + RATES_URL);
    var lines = Request.htmltext.split(/\r?\n/);
    if (lines[0].indexOf("# Example Rates") != 0)
        throw new Error("not a rates file: " + lines[0]);
    var rates = [];
    for (var i = 1; i < lines.length; i++) {
        if (lines[i] == "")
            continue;
        var fields = lines[i].split(";");
        if (fields.length != 4 || !/^\d+\.\d+$/.test(fields[2]) || !/^\d+\.\d+$/.test(fields[3])) {
            alert("line " + (i + 1) + " skipped: " + lines[i]);
            continue;
        }
        rates.push({ code: fields[0], name: fields[1], buy: fields[2], sell: fields[3] });
    }
    return rates;
}

function store(currency, rate) {
    currency.setvalue("code", rate.code);
    currency.setvalue("rate_buy", rate.buy);
    currency.setvalue("rate_sell", rate.sell);
}

function get_currency_list() {
    var rates = read_rates();
    CurrencyList.registercolumn("code", "Currency", false);
    CurrencyList.registercolumn("rate_buy", "We buy", true);
    CurrencyList.registercolumn("rate_sell", "We sell", true);
    CurrencyList.cansort = true;
    for (var i = 0; i < rates.length; i++) {
        var currency = CurrencyList.addcurrency(rates[i].code);
        currency.currencyname = rates[i].code + " - " + rates[i].name;
        store(currency, rates[i]);
    }
}

function execute() {
    var rates = read_rates();
    for (var i = 0; i < rates.length; i++)
        store(CurrencyList.currency(rates[i].code), rates[i]);
}
