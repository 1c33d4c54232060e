Demo Mobile: one page behind HTTP Basic authorization (the page login and password). Its
figures are data for the page's own script, so a pattern script reads the credit and an info
script the plan, the tariff and what is left of them. @DEMO_SITE@ is the demo site's address.

[COMMON]
list_name=Demo mobile operators

[Demo Mobile prepaid]
unique_id=DEMO_MOBILE_PREPAID
group_name=Demo Mobile
need_auth=yes
page_url=@DEMO_SITE@/mobile/account?nocache={RAND}
pattern=js:mobile-balance.js
info_script=mobile-info.js
