// Shown with the balance in the Balance List's hint, in the order of the names.
function get_additional_info(page) {
    var found = /var account = (\{.*?\});/.exec(page);
    if (!found)
        return;
    var account = JSON.parse(found[1]);
    AlertItem.registerinfo("Plan", account.plan);
    AlertItem.registerinfo("Minutes left", account.minutes_left);
    AlertItem.registerinfo("Data left", (account.data_left_mb / 1024).toFixed(1) + " GB");
}
