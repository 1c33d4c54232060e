// Euro foreign exchange reference rates of the European Central Bank.
//
// The bank publishes them once per working day, around 16:00 CET, as a small XML file with one
// element per currency:  <Cube currency='USD' rate='1.0939'/>  -- the rate is the number of units
// of that currency one euro buys. The list has two columns: the currency's code and its rate, the
// rate inspected for changes.

var RATES_URL = "https://www.ecb.europa.eu/stats/eurofxref/eurofxref-daily.xml";
var CODE_COLUMN = "currency";
var RATE_COLUMN = "rate";

var NAMES = {
    AUD: "Australian dollar", BGN: "Bulgarian lev", BRL: "Brazilian real", CAD: "Canadian dollar",
    CHF: "Swiss franc", CNY: "Chinese yuan renminbi", CYP: "Cyprus pound", CZK: "Czech koruna",
    DKK: "Danish krone", EEK: "Estonian kroon", GBP: "Pound sterling", HKD: "Hong Kong dollar",
    HRK: "Croatian kuna", HUF: "Hungarian forint", IDR: "Indonesian rupiah", ILS: "Israeli shekel",
    INR: "Indian rupee", ISK: "Icelandic krona", JPY: "Japanese yen", KRW: "South Korean won",
    LTL: "Lithuanian litas", LVL: "Latvian lats", MTL: "Maltese lira", MXN: "Mexican peso",
    MYR: "Malaysian ringgit", NOK: "Norwegian krone", NZD: "New Zealand dollar", PHP: "Philippine peso",
    PLN: "Polish zloty", RON: "Romanian leu", RUB: "Russian rouble", SEK: "Swedish krona",
    SGD: "Singapore dollar", SIT: "Slovenian tolar", SKK: "Slovak koruna", THB: "Thai baht",
    TRY: "Turkish lira", USD: "US dollar", ZAR: "South African rand"
};

function get_page_url() {
    return "https://www.ecb.europa.eu/stats/policy_and_exchange_rates/euro_reference_exchange_rates/html/index.en.html";
}

function get_country_code() {
    return "global";
}

function get_list_name() {
    return "ECB euro reference rates";
}

// The value of an attribute of one tag, quoted either way; empty when the tag has none.
function attribute(tag, name) {
    var match = new RegExp("\\s" + name + "\\s*=\\s*(['\"])([^'\"]*)\\1").exec(tag);
    return match ? match[2] : "";
}

// Downloads the file and returns its rates as [{code, rate}], in the file's order. Throws when the
// file cannot be had or holds no rate, so that the run counts as failed and the old rates stay.
function download_rates() {
    if (!Request.get(RATES_URL))
        throw new Error("Cannot download " + RATES_URL);
    var tags = Request.htmltext.match(/<Cube\b[^>]*>/g) || [];
    var rates = [];
    for (var i = 0; i < tags.length; i++) {
        var code = attribute(tags[i], "currency");
        var rate = attribute(tags[i], "rate");
        if (/^[A-Z]{3}$/.test(code) && /^[0-9]+(\.[0-9]+)?$/.test(rate))
            rates.push({ code: code, rate: rate });
    }
    if (rates.length == 0)
        throw new Error("No rates in " + RATES_URL);
    return rates;
}

function name_of(code) {
    return NAMES.hasOwnProperty(code) ? NAMES[code] : code;
}

function store_rate(currency, item) {
    if (currency.currencyname == "")
        currency.currencyname = item.code + " - " + name_of(item.code);
    currency.setvalue(CODE_COLUMN, item.code);
    currency.setvalue(RATE_COLUMN, item.rate);
}

function get_currency_list() {
    var rates = download_rates();
    CurrencyList.registercolumn(CODE_COLUMN, "Currency", false);
    CurrencyList.registercolumn(RATE_COLUMN, "EUR 1 =", true);
    CurrencyList.cansort = true;
    for (var i = 0; i < rates.length; i++)
        store_rate(CurrencyList.addcurrency(rates[i].code), rates[i]);
}

function execute() {
    var rates = download_rates();
    for (var i = 0; i < rates.length; i++)
        store_rate(CurrencyList.currency(rates[i].code), rates[i]);
}
