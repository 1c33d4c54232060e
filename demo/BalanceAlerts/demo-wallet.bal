Demo Wallet: one public page, no login; a regular expression finds the balance.
@DEMO_SITE@ is the demo site's address.

[COMMON]
list_name=Demo wallets

[Demo Wallet]
unique_id=DEMO_WALLET
group_name=Demo Wallet
need_auth=no
page_url=@DEMO_SITE@/wallet/TG-7Q2M
pattern=Balance:</td><td>(-?\d+?)(\.)(\d\d) credits
