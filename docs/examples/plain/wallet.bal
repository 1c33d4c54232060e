Example Wallet: one public page, no login; a regular expression finds the balance.
Lines before the first section are not read: this is where a file says what it is for.

[COMMON]
list_name=Example wallets

[Example Wallet]
unique_id=EXAMPLE_WALLET
group_name=Example Wallet
need_auth=no
page_url=http://wallet.example/w/TG-4411
pattern=Balance:</td><td>(-?[\d,]+?)(\.)(\d\d) credits
